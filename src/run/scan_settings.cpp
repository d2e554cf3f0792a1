#include "run/scan_settings.h"

#include <charconv>
#include <cmath>

namespace kestrum {

float SectorsToGib(std::uint64_t sectors) { return static_cast<float>(sectors >> 11) / 1024.0f; }

std::uint64_t GibToSectors(float gib) {
  double sectors = std::trunc(static_cast<double>(gib) * 2048.0 * 1024.0);
  if (!std::isfinite(sectors) || sectors <= 0) return 0;
  // A plain cast of a value outside the integer type's range is undefined.
  if (sectors >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(sectors);
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

// The edits always use a decimal point, whatever the user's locale says:
// the character conversions never look at it.
std::string FormatEditFloat(float value) {
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                     std::chars_format::general, 6);
  return std::string(buffer, written.ptr);
}

bool ParseEditFloat(const std::string& text, float& out) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (begin < end && text[begin] == '+') ++begin;  // as strtod takes it
  if (begin == end) return false;
  double value = 0;
  const auto parsed = std::from_chars(text.data() + begin, text.data() + end, value);
  if (parsed.ec == std::errc::invalid_argument || parsed.ptr != text.data() + end) return false;
  out = static_cast<float>(value);
  return true;
}

}  // namespace kestrum
