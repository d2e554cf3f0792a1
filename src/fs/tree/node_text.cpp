#include "fs/tree/node_text.h"

#include <cstdio>
#include <ctime>

#include "base/text.h"
#include "fs/dos_time.h"

namespace kestrum {

std::u16string SizeText(std::uint64_t size) {
  std::int64_t kib;
  if (size == 0) {
    kib = 0;
  } else if (size < 1024) {
    kib = 1;
  } else {
    kib = static_cast<std::int64_t>(size / 1024 + (size % 1024 >= 500 ? 1 : 0));
  }
  return FormatText("%7d KB", static_cast<std::int32_t>(kib));
}

std::int64_t FileTimeToUnixSeconds(std::uint64_t fileTime) {
  return (static_cast<std::int64_t>(fileTime / 10000000)) -
         static_cast<std::int64_t>(kUnixEpochAsFileTime / 10000000);
}

std::string FileTimeToIsoUtc(std::uint64_t fileTime) {
  if (fileTime == 0) return "";
  std::time_t seconds = static_cast<std::time_t>(FileTimeToUnixSeconds(fileTime));
  std::tm utc{};
  if (gmtime_r(&seconds, &utc) == nullptr) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::u16string FileTimeToLocalText(std::uint64_t fileTime) {
  if (fileTime == 0) return u"";
  std::time_t seconds = static_cast<std::time_t>(FileTimeToUnixSeconds(fileTime));
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return u"";
  return FormatText("%d-%d-%d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace kestrum
