#include "find/name_glob.h"

#include "base/text.h"

namespace kestrum {

char32_t FoldLatinCase(char32_t c) {
  if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // À–Þ, not ×
  if (c == 0x178) return 0xFF;                                // Ÿ
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs of capital and small letter; the runs differ in which comes first.
    // İ (U+0130) and ı (U+0131) are no pair, and ĸ (U+0138) and ŉ (U+0149) stand alone.
    if ((c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) != 0 ? c + 1 : c;
    return c;
  }
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;  // full-width Ａ–Ｚ
  return c;
}

NameGlob::NameGlob(std::u16string_view pattern) {
  for (std::size_t i = 0; i < pattern.size();) pattern_.push_back(FoldLatinCase(NextCodePoint(pattern, i)));
}

bool NameGlob::Matches(std::u16string_view name) const {
  // Greedy with one saved star: on a mismatch the last "*" takes one more
  // character. Linear in the name for a pattern with one star, and never
  // worse than pattern × name.
  constexpr std::size_t kNone = std::u32string::npos;
  std::size_t p = 0, n = 0;
  std::size_t starP = kNone, starN = 0;
  while (n < name.size()) {
    std::size_t after = n;
    const char32_t c = FoldLatinCase(NextCodePoint(name, after));
    if (p < pattern_.size() && pattern_[p] == U'*') {
      starP = p++;
      starN = n;
      continue;
    }
    if (p < pattern_.size() && (pattern_[p] == U'?' || pattern_[p] == c)) {
      ++p;
      n = after;
      continue;
    }
    if (starP == kNone) return false;
    p = starP + 1;
    NextCodePoint(name, starN);  // the star takes one more character
    n = starN;
  }
  while (p < pattern_.size() && pattern_[p] == U'*') ++p;
  return p == pattern_.size();
}

}  // namespace kestrum
