#include "find/filter_text.h"

#include <cctype>
#include <ctime>
#include <string>

#include "fs/tree/node_text.h"

namespace kestrum {

namespace {

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// Reads exactly `digits` digits (or 1–2 when `digits` is 0) at `at`.
bool ReadNumber(std::string_view text, std::size_t& at, std::size_t digits, int& out) {
  std::size_t start = at;
  std::size_t most = digits == 0 ? 2 : digits;
  out = 0;
  while (at < text.size() && at - start < most && std::isdigit(static_cast<unsigned char>(text[at]))) {
    out = out * 10 + (text[at] - '0');
    ++at;
  }
  return digits == 0 ? at > start : at - start == digits;
}

}  // namespace

bool ParseSizeText(std::string_view text, std::uint64_t& bytes) {
  text = Trim(text);
  std::size_t at = 0;
  unsigned __int128 whole = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    whole = whole * 10 + static_cast<unsigned>(text[at] - '0');
    if (whole > UINT64_MAX) return false;
    ++at;
  }
  if (at == 0) return false;
  // A fraction in millionths is enough for any unit up to T.
  std::uint64_t fraction = 0, scale = 1;
  if (at < text.size() && text[at] == '.') {
    ++at;
    std::size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
      if (scale < 1000000) {
        fraction = fraction * 10 + static_cast<unsigned>(text[at] - '0');
        scale *= 10;
      }
      ++at;
    }
    if (at == start) return false;
  }
  std::string_view unit = Trim(text.substr(at));
  int shift = 0;
  if (unit.empty() || AsciiEqualNoCase(unit, "B")) {
    shift = 0;
  } else {
    const std::string_view units = "KMGT";
    std::size_t which = units.find(static_cast<char>(std::toupper(static_cast<unsigned char>(unit[0]))));
    if (which == std::string_view::npos) return false;
    std::string_view rest = unit.substr(1);
    if (!rest.empty() && !AsciiEqualNoCase(rest, "B") && !AsciiEqualNoCase(rest, "iB")) return false;
    shift = 10 * static_cast<int>(which + 1);
  }
  unsigned __int128 value = (whole << shift) + ((static_cast<unsigned __int128>(fraction) << shift) / scale);
  if (value > UINT64_MAX) return false;
  bytes = static_cast<std::uint64_t>(value);
  return true;
}

bool ParseDateText(std::string_view text, bool endOfDay, std::int64_t& seconds) {
  text = Trim(text);
  std::size_t at = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  auto separator = [&](char a, char b) {
    if (at < text.size() && (text[at] == a || text[at] == b)) {
      ++at;
      return true;
    }
    return false;
  };
  if (!ReadNumber(text, at, 4, year) || !separator('-', '/') || !ReadNumber(text, at, 0, month) ||
      !separator('-', '/') || !ReadNumber(text, at, 0, day)) {
    return false;
  }
  const bool withTime = at < text.size();
  if (withTime) {
    if (!separator(' ', 'T')) return false;
    while (at < text.size() && text[at] == ' ') ++at;
    if (!ReadNumber(text, at, 0, hour) || !separator(':', ':') || !ReadNumber(text, at, 2, minute)) return false;
    if (at < text.size() && (!separator(':', ':') || !ReadNumber(text, at, 2, second))) return false;
    if (at != text.size()) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
  } else if (endOfDay) {
    hour = 23;
    minute = 59;
    second = 59;
  }
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  // mktime moves 31 April to 1 May: such a day does not exist.
  if (t == static_cast<std::time_t>(-1) || local.tm_mday != day || local.tm_mon != month - 1) return false;
  seconds = static_cast<std::int64_t>(t);
  return true;
}

bool ParseRecoveryChance(std::string_view utf8, RecoveryChance& out) {
  struct Word {
    RecoveryChance chance;
    const char* text;
  };
  static constexpr Word kWords[] = {{kRecoveryGood, "良好"},       {kRecoveryPartial, "部分覆盖"},
                                    {kRecoveryOverwritten, "已覆盖"}, {kRecoveryUnknown, "未知"},
                                    {kRecoveryUnverified, "未验证"}};
  utf8 = Trim(utf8);
  for (const Word& w : kWords) {
    if (AsciiEqualNoCase(utf8, RecoveryName(w.chance)) || utf8 == w.text) {
      out = w.chance;
      return true;
    }
  }
  return false;
}

}  // namespace kestrum
