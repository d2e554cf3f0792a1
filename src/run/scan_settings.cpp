#include "run/scan_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

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

// The edits always use a decimal point, whatever the user's locale says.
locale_t CLocale() {
  static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

std::string FormatEditFloat(float value) {
  locale_t old = uselocale(CLocale());
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", 6, static_cast<double>(value));
  uselocale(old);
  return buffer;
}

bool ParseEditFloat(const std::string& text, float& out) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (begin == end) return false;
  std::string number = text.substr(begin, end - begin);
  locale_t old = uselocale(CLocale());
  char* stop = nullptr;
  errno = 0;
  double value = std::strtod(number.c_str(), &stop);
  uselocale(old);
  if (stop != number.c_str() + number.size()) return false;
  out = static_cast<float>(value);
  return true;
}

}  // namespace kestrum
