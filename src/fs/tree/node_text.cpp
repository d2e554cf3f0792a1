#include "fs/tree/node_text.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/catalog.h"
#include "base/text.h"
#include "fs/dos_time.h"
#include "platform/local_time.h"

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

namespace {

// Civil date of a day count since 1970-01-01 (proleptic Gregorian), without
// the C library's time-zone machinery: listings format millions of times.
void CivilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day) {
  days += 719468;  // shift the epoch to 0000-03-01
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;  // March = 0
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0));
}

void PutDigits(char* at, unsigned value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

void PutTwoDigits(char* at, unsigned value) {
  at[0] = static_cast<char>('0' + value / 10);
  at[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

bool IsoUtcFormatter::Put(std::uint64_t fileTime, char* text) {
  if (fileTime == 0) return false;
  std::int64_t seconds = FileTimeToUnixSeconds(fileTime);
  std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  auto secondOfDay = static_cast<unsigned>(seconds - days * 86400);
  if (days != days_) {
    int year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    days_ = days;
    inRange_ = year >= 0 && year <= 9999;
    if (inRange_) {
      PutDigits(date_, static_cast<unsigned>(year), 4);
      date_[4] = '-';
      PutDigits(date_ + 5, month, 2);
      date_[7] = '-';
      PutDigits(date_ + 8, day, 2);
    }
  }
  if (!inRange_) return false;
  std::memcpy(text, date_, sizeof date_);
  text[10] = 'T';
  PutTwoDigits(text + 11, secondOfDay / 3600);
  text[13] = ':';
  PutTwoDigits(text + 14, secondOfDay / 60 % 60);
  text[16] = ':';
  PutTwoDigits(text + 17, secondOfDay % 60);
  text[19] = 'Z';
  return true;
}

std::string FileTimeToIsoUtc(std::uint64_t fileTime) {
  char text[kIsoUtcChars];
  return IsoUtcFormatter().Put(fileTime, text) ? std::string(text, kIsoUtcChars) : std::string();
}

std::u16string FileTimeToLocalText(std::uint64_t fileTime) {
  if (fileTime == 0) return u"";
  std::time_t seconds = static_cast<std::time_t>(FileTimeToUnixSeconds(fileTime));
  std::tm local{};
  if (!platform::LocalTime(seconds, local)) return u"";
  return FormatText("%d-%d-%d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

const char* RecoveryName(RecoveryChance chance) {
  switch (chance) {
    case kRecoveryGood: return "good";
    case kRecoveryPartial: return "partial";
    case kRecoveryOverwritten: return "overwritten";
    case kRecoveryUnverified: return "unverified";
    default: return "unknown";
  }
}

std::u16string RecoveryText(const FileNode& node) {
  if (!ShowsRecoveryChance(node)) return u"";
  switch (node.recovery) {
    case kRecoveryGood: return Tr(u"良好");
    case kRecoveryPartial: return Tr(u"部分覆盖");
    case kRecoveryOverwritten: return Tr(u"已覆盖");
    case kRecoveryUnverified: return Tr(u"未验证");
    default: return Tr(u"未知");
  }
}

}  // namespace kestrum
