#include "base/guid.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace kestrum {

namespace {

// Text position of each on-disk byte: the first three fields are stored
// little-endian, the last two as written.
constexpr std::array<std::size_t, 16> kTextOrder = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::size_t kTextLength = 36;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseGuid(const std::string& text, Guid& out) {
  if (text.size() != kTextLength) return false;
  std::array<std::uint8_t, 16> inText{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    int high = HexValue(text[i]);
    int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    inText[n++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  for (std::size_t b = 0; b < out.size(); ++b) out[b] = inText[kTextOrder[b]];
  return true;
}

std::string GuidText(const Guid& guid) {
  std::array<std::uint8_t, 16> inText{};
  for (std::size_t b = 0; b < guid.size(); ++b) inText[kTextOrder[b]] = guid[b];
  std::string text;
  char hex[3];
  for (std::size_t i = 0; i < inText.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    std::snprintf(hex, sizeof hex, "%02X", inText[i]);
    text += hex;
  }
  return text;
}

bool IsZeroGuid(const Guid& guid) {
  return std::all_of(guid.begin(), guid.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace kestrum
