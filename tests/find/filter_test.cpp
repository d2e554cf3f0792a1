// The filter the browser and the command line share, over hand-made nodes.

#include <gtest/gtest.h>

#include "base/text.h"
#include "find/file_filter.h"
#include "find/filter_text.h"
#include "find/name_glob.h"
#include "find/type_groups.h"
#include "scan/scan_category.h"

namespace kestrum {
namespace {

TEST(NameGlob, WildcardsTakeWholeCharactersAndLatinLettersMatchInEitherCase) {
  const std::u16string longName = std::u16string(300, u'长') + u"x";
  const std::u16string control(u"a\x01" u"b");
  const std::u16string lone(u"\xD800.txt", 5);
  struct Case {
    std::u16string pattern, name;
    bool matches;
  } cases[] = {
      {u"*.jpg", u"photo.JPG", true},        {u"*.jpg", u"photo.jpeg", false},
      {u"?.txt", u"a.txt", true},            {u"?.txt", u"报.txt", true},
      {u"?.txt", u"😀.txt", true},           {u"??.txt", u"😀.txt", false},
      {u"*报告*", u"2024年度报告.docx", true}, {u"报告", u"报告1", false},
      {u"ÉTÉ*", u"été 2024.jpg", true},      {u"ĀŁŽ", u"āłž", true},
      {u"ＡＢ", u"ａｂ", true},               {u"Ω*", u"ω.txt", false},
      {u"i", u"İ", false},                   {u"*a*b*c", u"aXbYc", true},
      {u"*a*b*c", u"aXbYcd", false},         {u"a*", u"a", true},
      {u"**", u"x", true},                   {u"a?c", u"ac", false},
      {u"a*", control, true},                {control, control, true},
      {u"*x", longName, true},               {u"*y", longName, false},
      {u"?.txt", lone, true},                {u"*.TXT", u"季度总结.txt", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameGlob(c.pattern).Matches(c.name), c.matches) << ToUtf8(c.pattern) << " ~ " << ToUtf8(c.name);
  }
}

TEST(TypeGroups, ExtensionsInAnyCaseAndEveryKindFoundByContentHaveTheirGroup) {
  struct Case {
    std::u16string name;
    TypeGroup group;
  } cases[] = {{u"IMG_0001.JPG", TypeGroup::kPicture}, {u"a.webp", TypeGroup::kPicture},
               {u"报告.docx", TypeGroup::kDocument},  {u"notes.TXT", TypeGroup::kDocument},
               {u"movie.MKV", TypeGroup::kVideo},     {u"song.flac", TypeGroup::kAudio},
               {u"x.tar.gz", TypeGroup::kArchive},    {u"setup.exe", TypeGroup::kOther},
               {u"README", TypeGroup::kOther},        {u".jpg", TypeGroup::kOther},
               {u"a.", TypeGroup::kOther},            {u"a.verylongextension", TypeGroup::kOther}};
  for (const Case& c : cases) EXPECT_EQ(TypeGroupOfName(c.name), c.group) << ToUtf8(c.name);
  // Files found by content are named after their category: each is grouped.
  // Programs (and apps) are "other" on purpose.
  for (std::int32_t place = 0; place < kFileCategoryCount; ++place) {
    const ScanCategory c = FileCategoryAt(place);
    const std::u16string& name = CategoryName(c);
    const bool program = c == kCategoryExe || c == kCategoryElf || c == kCategoryMacho || c == kCategoryApk;
    EXPECT_EQ(TypeGroupOfExtension(name) == TypeGroup::kOther, program) << ToUtf8(name);
  }
  TypeGroup group;
  EXPECT_TRUE(ParseTypeGroup(u"Picture", group) && group == TypeGroup::kPicture);
  EXPECT_TRUE(ParseTypeGroup(u"压缩包", group) && group == TypeGroup::kArchive);
  EXPECT_FALSE(ParseTypeGroup(u"pictures", group));
  for (int g = 0; g < kTypeGroupCount; ++g) {
    EXPECT_TRUE(ParseTypeGroup(TypeGroupText(static_cast<TypeGroup>(g)), group) && static_cast<int>(group) == g);
  }
}

TEST(FilterText, SizesAndDatesAsTheyAreTyped) {
  struct Size {
    const char* text;
    bool ok;
    std::uint64_t bytes;
  } sizes[] = {{"4096", true, 4096},         {"10K", true, 10240},  {"10kb", true, 10240},
               {"1.5M", true, 1572864},      {"2 G", true, 2ull << 30}, {"1t", true, 1ull << 40},
               {" 7 ", true, 7},             {"0.5KiB", true, 512}, {"16777216T", false, 0},
               {"18446744073709551615", true, UINT64_MAX}, {"18446744073709551616", false, 0},
               {"-1", false, 0},             {"10Q", false, 0},     {"1.K", false, 0},
               {"", false, 0},               {"K", false, 0}};
  for (const Size& s : sizes) {
    std::uint64_t bytes = 0;
    EXPECT_EQ(ParseSizeText(s.text, bytes), s.ok) << s.text;
    if (s.ok) {
      EXPECT_EQ(bytes, s.bytes) << s.text;
    }
  }
  // The suite runs with TZ=UTC: local time is UTC.
  constexpr std::int64_t kJune30 = 1719705600;  // 2024-06-30 00:00:00
  struct Date {
    const char* text;
    bool endOfDay;
    bool ok;
    std::int64_t seconds;
  } dates[] = {{"2024-06-30", false, true, kJune30},
               {"2024-06-30", true, true, kJune30 + 86399},
               {"2024/6/30", false, true, kJune30},
               {"2024-06-30 14:05", true, true, kJune30 + 14 * 3600 + 5 * 60},
               {"2024-06-30T14:05:09", false, true, kJune30 + 14 * 3600 + 5 * 60 + 9},
               {"2024-02-29", false, true, 1709164800},
               {"2023-02-29", false, false, 0},
               {"2024-13-01", false, false, 0},
               {"2024-06-30 24:00", false, false, 0},
               {"2024-06-30 14:5", false, false, 0},
               {"24-06-30", false, false, 0},
               {"2024-06-30x", false, false, 0},
               {"yesterday", false, false, 0}};
  for (const Date& d : dates) {
    std::int64_t seconds = 0;
    EXPECT_EQ(ParseDateText(d.text, d.endOfDay, seconds), d.ok) << d.text;
    if (d.ok) {
      EXPECT_EQ(seconds, d.seconds) << d.text;
    }
  }
  RecoveryChance chance;
  EXPECT_TRUE(ParseRecoveryChance("GOOD", chance) && chance == kRecoveryGood);
  EXPECT_TRUE(ParseRecoveryChance("部分覆盖", chance) && chance == kRecoveryPartial);
  EXPECT_FALSE(ParseRecoveryChance("great", chance));
}

FileNode Node(const char16_t* name, NodeType type, std::uint64_t size = 0, std::int64_t modified = 0,
              RecoveryChance chance = kRecoveryUnknown) {
  FileNode node;
  node.name = name;
  node.type = type;
  node.size = size;
  // FILETIME: 100-ns steps from 1601.
  node.lastWriteTime = modified == 0 ? 0 : static_cast<std::uint64_t>(modified + 11644473600) * 10000000;
  node.recovery = chance;
  return node;
}

TEST(FilterMatcher, EveryCriterionMustHoldAndFoldersPassOnlyOnWhatTheyHave) {
  const FileNode photo = Node(u"IMG_1.JPG", kDeletedFile, 3 << 20, 1719705600, kRecoveryGood);
  const FileNode report = Node(u"年度报告.docx", kFile, 20000, 1700000000);
  const FileNode folder = Node(u"报告", kFolder, 0, 1719705600);
  const FileNode undated = Node(u"old.txt", kDeletedFile, 10, 0, kRecoveryPartial);
  auto filter = [](auto set) {
    FileFilter f;
    set(f);
    return f;
  };
  struct Case {
    const char* what;
    FileFilter filter;
    bool photo, report, folder, undated;
  } cases[] = {
      {"nothing asked", FileFilter{}, true, true, true, true},
      {"name", filter([](FileFilter& f) { f.name = u"*报告*"; }), false, true, true, false},
      {"type", filter([](FileFilter& f) { f.AddGroup(TypeGroup::kPicture); }), true, false, false, false},
      {"two types", filter([](FileFilter& f) { f.AddGroup(TypeGroup::kPicture); f.AddGroup(TypeGroup::kDocument); }),
       true, true, false, true},
      {"sizes", filter([](FileFilter& f) { f.minSize = 10; f.maxSize = 20000; }), false, true, false, true},
      {"dates", filter([](FileFilter& f) { f.since = 1719705600; f.until = 1719705600; }), true, false, true, false},
      {"deleted", filter([](FileFilter& f) { f.deletedOnly = true; }), true, false, false, true},
      {"chance", filter([](FileFilter& f) { f.AddChance(kRecoveryGood); }), true, false, false, false},
      {"name and size", filter([](FileFilter& f) { f.name = u"*报告*"; f.maxSize = 100; }), false, false, false, false},
  };
  for (const Case& c : cases) {
    const FilterMatcher m(c.filter);
    EXPECT_EQ(m.Matches(photo), c.photo) << c.what;
    EXPECT_EQ(m.Matches(report), c.report) << c.what;
    EXPECT_EQ(m.Matches(folder), c.folder) << c.what;
    EXPECT_EQ(m.Matches(undated), c.undated) << c.what;
  }
  EXPECT_TRUE(FileFilter{}.IsEmpty());
  EXPECT_EQ(CheckFilter(filter([](FileFilter& f) { f.since = 2; f.until = 1; })), FilterProblem::kDatesReversed);
  EXPECT_EQ(CheckFilter(filter([](FileFilter& f) { f.minSize = 2; f.maxSize = 1; })), FilterProblem::kSizesReversed);
  EXPECT_EQ(CheckFilter(filter([](FileFilter& f) { f.since = 1; f.until = 1; })), FilterProblem::kNone);
  EXPECT_EQ(FilterProblemText(FilterProblem::kDatesReversed), u"开始日期晚于结束日期，请检查日期范围");
}

}  // namespace
}  // namespace kestrum
