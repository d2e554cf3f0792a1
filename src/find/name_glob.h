#pragma once
// A file-name pattern as people type it: "*" any run of characters, "?" one
// character (a whole code point, so one Chinese character or emoji), every
// other character itself. Latin letters match in either case (ASCII,
// Latin-1 and Latin Extended-A, and full-width A–Z); other scripts as they
// are. The pattern must match the whole name.

#include <string>
#include <string_view>

namespace kestrum {

// A Latin capital letter's small letter; any other code point unchanged.
char32_t FoldLatinCase(char32_t c);

class NameGlob {
 public:
  NameGlob() = default;
  explicit NameGlob(std::u16string_view pattern);

  bool Empty() const { return pattern_.empty(); }
  bool Matches(std::u16string_view name) const;

 private:
  std::u32string pattern_;  // code points, case folded
};

}  // namespace kestrum
