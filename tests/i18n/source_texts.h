#pragma once
// The Chinese texts a source file writes, as the compiler sees them: string
// literals outside comments, adjacent ones joined, escapes read.

#include <string>
#include <string_view>
#include <vector>

namespace kestrum::test {

struct SourceText {
  std::string text;  // UTF-8
  int line = 0;      // where it starts
};

// Every string literal holding a CJK character or CJK punctuation. A literal
// on a line that says "untranslated" in a comment (a file name, say) is left out.
std::vector<SourceText> ChineseLiterals(std::string_view source);

// Whether `text` holds a CJK ideograph, CJK punctuation or a full-width form.
bool HasChinese(std::string_view text);

// The printf conversions of a format, by argument position ("1:s", "2:zu", …),
// so that a translation can be checked to take the same arguments.
std::vector<std::string> FormatArguments(std::string_view format);

}  // namespace kestrum::test
