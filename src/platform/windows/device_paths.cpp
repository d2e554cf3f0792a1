#include "platform/windows/device_paths.h"

namespace kestrum::platform::win32 {

namespace {

constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";
constexpr std::u16string_view kLongPrefix = u"\\\\?\\";
constexpr std::u16string_view kDisk = u"PhysicalDrive";

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

bool IsDeviceName(std::u16string_view path) {
  if (path.size() > kDevicePrefix.size() && path.substr(0, 4) == kDevicePrefix) return true;
  if (path.size() <= kLongPrefix.size() || path.substr(0, 4) != kLongPrefix) return false;
  // "\\?\C:\…" and "\\?\UNC\server\…" name files past MAX_PATH.
  const std::u16string_view rest = path.substr(4);
  const bool drivePath = rest.size() >= 2 && IsLetter(rest[0]) && rest[1] == u':';
  return !drivePath && !StartsWithNoCase(rest, u"UNC\\");
}

std::optional<std::uint32_t> DiskNumberOf(std::u16string_view path) {
  if (path.substr(0, 4) != kDevicePrefix || !StartsWithNoCase(path.substr(4), kDisk)) return std::nullopt;
  const std::u16string_view digits = path.substr(4 + kDisk.size());
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  std::uint32_t n = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c - u'0');
  }
  return n;
}

std::u16string VolumeRootOf(std::u16string_view path) {
  if (path.size() == 6 && path.substr(0, 4) == kDevicePrefix && IsLetter(path[4]) && path[5] == u':') {
    return std::u16string(path.substr(4)) + u"\\";
  }
  if (path.substr(0, 4) == kLongPrefix && StartsWithNoCase(path.substr(4), u"Volume{") && path.back() == u'}') {
    return std::u16string(path) + u"\\";
  }
  return {};
}

}  // namespace kestrum::platform::win32
