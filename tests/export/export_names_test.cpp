// Names from the disk turned into one safe path component, and path joining.

#include <gtest/gtest.h>

#include "base/text.h"
#include "export/export_files.h"
#include "export/export_names.h"

namespace kestrum {
namespace {

TEST(CleanExportName, NamesThatWouldClimbOrSplitBecomeOneHarmlessComponent) {
  struct Case {
    std::u16string name;
    std::u16string clean;
  };
  const Case cases[] = {
      {u"", u"_"},
      {u".", u"_."},
      {u"..", u"_.."},
      {u"a/../../b", u"a_.._.._b"},
      {u"/etc/passwd", u"_etc_passwd"},
      {u"/", u"_"},
      {std::u16string(u"a\0b", 3), u"a_b"},
      {std::u16string(u"..\0", 3), u".._"},  // no longer "..": stays as it is
      {u"back\\slash\\", u"back_slash_"},
      {u"...", u"..."},                      // an ordinary name on Linux
      {u"报告 2020.doc", u"报告 2020.doc"},
      {u"\xD83D\xDE00.txt", u"\xD83D\xDE00.txt"},  // a surrogate pair is one character
      {u"a\xD800" u"b", u"a\xFFFD" u"b"},           // a lone surrogate cannot be written
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CleanExportName(c.name), c.clean) << ToUtf8(c.name);
  }
}

TEST(CleanExportName, LongNamesAreCutToLinuxLimitAtACharacterBoundary) {
  // 200 Chinese characters take 600 bytes of UTF-8.
  std::u16string chinese(200, u'报');
  std::u16string clean = CleanExportName(chinese + u".txt");
  std::string bytes = ToUtf8(clean);
  EXPECT_LE(bytes.size(), kMaxNameBytes);
  EXPECT_GT(bytes.size(), kMaxNameBytes - 3) << "cut further than needed";
  EXPECT_EQ(clean.substr(clean.size() - 4), u".txt") << "the extension survives the cut";
  EXPECT_EQ(FromUtf8(bytes), clean) << "no broken UTF-8 sequence at the cut";

  // Pairs are never split: 4-byte characters, 255 is not a multiple of 4.
  std::u16string emoji;
  for (int i = 0; i < 100; ++i) emoji += u"\xD83D\xDE00";
  std::u16string cut = CleanExportName(emoji);
  EXPECT_EQ(ToUtf8(cut).size(), 252u);
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_FALSE(cut.back() >= 0xD800 && cut.back() <= 0xDBFF);

  // An "extension" that is most of the name is cut like any other text.
  std::u16string dotted = u"a." + std::u16string(300, u'x');
  EXPECT_EQ(ToUtf8(CleanExportName(dotted)).size(), kMaxNameBytes);
  // Exactly at the limit: left alone.
  std::u16string full(255, u'n');
  EXPECT_EQ(CleanExportName(full), full);
}

TEST(NumberedName, CounterGoesBeforeTheExtensionAndStillFits) {
  EXPECT_EQ(NumberedName(u"report.doc", 2), u"report (2).doc");
  EXPECT_EQ(NumberedName(u"a_b", 3), u"a_b (3)");
  EXPECT_EQ(NumberedName(u".hidden", 2), u".hidden (2)");
  EXPECT_EQ(NumberedName(u"_..", 2), u"_.. (2)");
  std::u16string longName = CleanExportName(std::u16string(300, u'报') + u".txt");
  std::u16string numbered = NumberedName(longName, 12);
  EXPECT_LE(ToUtf8(numbered).size(), kMaxNameBytes);
  EXPECT_EQ(numbered.substr(numbered.size() - 9), u" (12).txt");
}

TEST(JoinPath, AddsOneSlashOnlyWhereNeeded) {
  EXPECT_EQ(JoinPath(u"/out", u"a.txt"), u"/out/a.txt");
  EXPECT_EQ(JoinPath(u"/out/", u"a.txt"), u"/out/a.txt");
  EXPECT_EQ(JoinPath(u"C:\\out\\", u"a.txt"), u"C:\\out\\a.txt");
  EXPECT_EQ(JoinPath(u"", u"a.txt"), u"a.txt");
  EXPECT_EQ(JoinPath(u"/", u"报告"), u"/报告");
}

}  // namespace
}  // namespace kestrum
