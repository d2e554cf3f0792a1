#pragma once
// Columns for the terminal, aligned by display width (CJK characters take two cells).

#include <string>
#include <vector>

namespace kestrum::cli {

std::size_t DisplayWidth(const std::u16string& text);
// Prints rows (the first is the header) with two blanks between columns.
void PrintTable(const std::vector<std::vector<std::u16string>>& rows);

}  // namespace kestrum::cli
