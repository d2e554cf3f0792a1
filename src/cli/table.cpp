#include "cli/table.h"

#include <cstdio>

#include "base/text.h"

namespace kestrum::cli {

namespace {

bool IsWide(char16_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}

}  // namespace

std::size_t DisplayWidth(const std::u16string& text) {
  std::size_t width = 0;
  for (char16_t c : text) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // second half of a pair
    width += IsWide(c) ? 2 : 1;
  }
  return width;
}

void PrintTable(const std::vector<std::vector<std::u16string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
  }
  for (const auto& row : rows) {
    std::u16string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::u16string(widths[i] - DisplayWidth(row[i]) + 2, u' ');
    }
    std::printf("%s\n", ToUtf8(line).c_str());
  }
}

}  // namespace kestrum::cli
