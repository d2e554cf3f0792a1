#include "cli/json.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace kestrum::cli {
namespace {

// Listing paths are escaped straight from UTF-16; the bytes must be those of
// the two-step conversion the other commands use.
TEST(JsonText, NamesEscapedInOnePassMatchConvertThenEscape) {
  const std::u16string names[] = {
      u"plain.txt", u"", u"中文文件名.doc", u"quote\"and\\back", u"tab\tnew\nline\r",
      std::u16string(u"nul\0byte", 8), u"\x01\x1f\x7f", u"\U0001F600 astral",
      std::u16string(1, char16_t{0xD800}) + u"lone high", u"lone low" + std::u16string(1, char16_t{0xDC00}),
      std::u16string(1, char16_t{0xDBFF}), u"é and ü"};
  for (const std::u16string& name : names) {
    std::string expected = JsonEscape(ToUtf8(name));
    std::string out = "\"";
    AppendJsonChars(out, name);
    out += '"';
    EXPECT_EQ(out, expected) << expected;
  }
}

}  // namespace
}  // namespace kestrum::cli
