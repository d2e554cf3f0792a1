// The program's two languages: which one the environment chooses, the core's
// catalog of English texts, and the sweep that every Chinese text the sources
// write has its English (the catalog's for the core and the CLI, the Qt
// translation file's for the desktop program).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/catalog.h"
#include "i18n/source_texts.h"

namespace kestrum::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = fs::path(KESTRUM_TEST_SOURCE_DIR).parent_path() / "src";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class LanguageGuard {
 public:
  explicit LanguageGuard(Language language) : saved_(CurrentLanguage()) { SetLanguage(language); }
  ~LanguageGuard() { SetLanguage(saved_); }

 private:
  Language saved_;
};

TEST(Language, TheEnvironmentChoosesChineseOnlyForAChineseLocale) {
  struct Case {
    std::map<std::string, std::string> env;
    Language expected;
    std::string systemLocale = {};  // as Windows names the user's
  };
  const Case cases[] = {
      {{}, Language::kEnglish},
      {{{"LANG", "zh_CN.UTF-8"}}, Language::kChinese},
      {{{"LANG", "zh_TW.UTF-8"}}, Language::kChinese},
      {{{"LANG", "en_US.UTF-8"}}, Language::kEnglish},
      {{{"LANG", "de_DE.UTF-8"}}, Language::kEnglish},
      {{{"LANG", "C.UTF-8"}}, Language::kEnglish},
      // LC_ALL before LC_MESSAGES before LANG.
      {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}}, Language::kChinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "en_GB.UTF-8"}}, Language::kEnglish},
      {{{"LC_ALL", "zh_CN.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}}, Language::kChinese},
      // LANGUAGE's first choice, except in the C locale.
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_CN:en"}}, Language::kChinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "en:zh_CN"}}, Language::kEnglish},
      {{{"LANG", "C"}, {"LANGUAGE", "zh_CN"}}, Language::kEnglish},
      // KESTRUM_LANG over the locale; a value it does not know is ignored.
      {{{"LANG", "zh_CN.UTF-8"}, {"KESTRUM_LANG", "en"}}, Language::kEnglish},
      {{{"LANG", "en_US.UTF-8"}, {"KESTRUM_LANG", "zh"}}, Language::kChinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"KESTRUM_LANG", "fr"}}, Language::kChinese},
      // The system's locale where no variable names one (Windows), never over one that does.
      {{}, Language::kChinese, "zh-CN"},
      {{}, Language::kEnglish, "en-US"},
      {{{"LANG", "en_US.UTF-8"}}, Language::kEnglish, "zh-CN"},
      {{{"KESTRUM_LANG", "en"}}, Language::kEnglish, "zh-CN"},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const auto& [key, value] : c.env) name += key + "=" + value + " ";
    SCOPED_TRACE(name + c.systemLocale);
    Language got = LanguageFromEnvironment(
        [&c](const char* key) -> const char* {
          auto it = c.env.find(key);
          return it == c.env.end() ? nullptr : it->second.c_str();
        },
        c.systemLocale);
    EXPECT_EQ(got, c.expected);
  }
}

TEST(Language, TheOptionOnTheCommandLine) {
  const char* spaced[] = {"kestrum-cli", "ls", "--lang", "en", "x.img"};
  EXPECT_EQ(LanguageOption(5, spaced), Language::kEnglish);
  const char* joined[] = {"kestrum", "--lang=zh"};
  EXPECT_EQ(LanguageOption(2, joined), Language::kChinese);
  const char* unknown[] = {"kestrum", "--lang", "fr"};
  EXPECT_EQ(LanguageOption(3, unknown), std::nullopt);
  const char* operand[] = {"kestrum-cli", "ls", "--", "--lang", "en"};
  EXPECT_EQ(LanguageOption(5, operand), std::nullopt);
  const char* none[] = {"kestrum"};
  EXPECT_EQ(LanguageOption(1, none), std::nullopt);
}

TEST(Catalog, TextsInTheCurrentLanguage) {
  {
    LanguageGuard chinese(Language::kChinese);
    EXPECT_EQ(Tr(u"导出文件成功！"), u"导出文件成功！");
    EXPECT_EQ(TrFormat("发现文件： %u", 7u), u"发现文件： 7");
  }
  LanguageGuard english(Language::kEnglish);
  EXPECT_EQ(Tr(u"导出文件成功！"), u"The files were exported!");
  EXPECT_EQ(TrFormat("发现文件： %u", 7u), u"Files found: 7");
  // Arguments in another order than the Chinese gives them.
  EXPECT_EQ(TrFormat("您选择的%02u分区和%02u分区之间有%.2fGB空闲空间，确定执行分区重建操作吗？", 1u, 2u, 1.5),
            u"There are 1.50 GB of free space between partitions 01 and 02 you selected. Rebuild the partition "
            u"table anyway?");
  // A text not translated yet stays as it is.
  EXPECT_EQ(Tr(u"还没有翻译的文字"), u"还没有翻译的文字");
  EXPECT_EQ(TrFormat("还没有翻译的 %d", 3), u"还没有翻译的 3");
}

TEST(Catalog, EveryEntryIsEnglishWithTheSameArguments) {
  std::set<std::string> keys;
  for (const CatalogEntry& entry : EnglishCatalog()) {
    SCOPED_TRACE(entry.chinese);
    EXPECT_TRUE(keys.insert(entry.chinese).second) << "twice in the catalog";
    EXPECT_TRUE(HasChinese(entry.chinese));
    EXPECT_FALSE(std::string_view(entry.english).empty());
    EXPECT_FALSE(HasChinese(entry.english)) << entry.english;
    EXPECT_EQ(FormatArguments(entry.chinese), FormatArguments(entry.english)) << entry.english;
  }
}

TEST(SourceTexts, LiteralsAsTheCompilerJoinsThem) {
  const std::string source =
      "// 注释里的文字\n"
      "Tell(u\"第一\" \"段\"\n"
      "     u8\"，接着\");  /* 也是注释 \"不算\" */\n"
      "x = 'a'; y = \"plain\"; z = u\"换行\\n\\\"引号\\\"\";\n"
      "name = u\"恢复报告.csv\";  // untranslated: a file name\n";
  const std::vector<SourceText> found = ChineseLiterals(source);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].text, "第一段，接着");
  EXPECT_EQ(found[0].line, 2);
  EXPECT_EQ(found[1].text, "换行\n\"引号\"");
  EXPECT_EQ(found[1].line, 4);
  EXPECT_EQ(FormatArguments("%s 有 %zu 个, 100%%"), (std::vector<std::string>{"1:s", "2:zu"}));
  EXPECT_EQ(FormatArguments("%2$zu of %1$s"), (std::vector<std::string>{"1:s", "2:zu"}));
  EXPECT_EQ(FormatArguments("%.2f GB %02u"), (std::vector<std::string>{"1:f", "2:u"}));
}

// The English of the desktop program: each finished translation by its
// Chinese source text, from the Qt Linguist file.
std::map<std::string, std::string> QtTranslations(const std::string& ts) {
  auto decode = [](std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#x0a;", "\n"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities) {
      for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
        text.replace(at, std::string_view(from).size(), to);
      }
    }
    return text;
  };
  std::map<std::string, std::string> out;
  for (std::size_t at = ts.find("<message"); at != std::string::npos; at = ts.find("<message", at + 1)) {
    const std::size_t end = ts.find("</message>", at);
    const std::string message = ts.substr(at, end - at);
    const std::size_t source = message.find("<source>");
    const std::size_t translation = message.find("<translation");
    if (source == std::string::npos || translation == std::string::npos) continue;
    const std::size_t sourceEnd = message.find("</source>", source);
    const std::size_t open = message.find('>', translation);
    const std::string tag = message.substr(translation, open - translation);
    if (tag.find("type=") != std::string::npos) continue;  // unfinished, vanished, obsolete
    const std::size_t close = message.find("</translation>", open);
    const std::string english = decode(message.substr(open + 1, close - open - 1));
    if (!english.empty()) out[decode(message.substr(source + 8, sourceEnd - source - 8))] = english;
  }
  return out;
}

// Every Chinese text the sources write has its English. A text another change
// adds shows in Chinese until then; this lists each one, with where it is.
TEST(Catalog, EveryChineseTextOfTheSourcesHasItsEnglish) {
  std::map<std::string, std::string> catalog;
  for (const CatalogEntry& entry : EnglishCatalog()) catalog[entry.chinese] = entry.english;
  const fs::path tsFile = kSourceDir / "gui" / "translations" / "kestrum_en.ts";
  const std::map<std::string, std::string> qt = QtTranslations(ReadFile(tsFile));
  ASSERT_FALSE(qt.empty()) << tsFile;

  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(kSourceDir)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string missing;
  std::set<std::string> used;
  for (const fs::path& file : files) {
    if (file.filename() == "catalog_en.cpp") continue;
    const std::string relative = fs::relative(file, kSourceDir).string();
    const bool gui = relative.rfind("gui/", 0) == 0;
    for (const SourceText& text : ChineseLiterals(ReadFile(file))) {
      used.insert(text.text);
      const bool found = gui ? qt.count(text.text) != 0 : catalog.count(text.text) != 0;
      if (!found) {
        missing += "  src/" + relative + ":" + std::to_string(text.line) + ": " + text.text + "\n";
      }
    }
  }
  EXPECT_TRUE(missing.empty()) << "Chinese texts without English (add them to "
                               << (missing.find("src/gui/") != std::string::npos ? "src/gui/translations/kestrum_en.ts "
                                                                                   "through the update_translations target, "
                                                                                 : "")
                               << "src/base/catalog_en.cpp):\n"
                               << missing;
  std::string stale;
  for (const auto& [chinese, english] : catalog) {
    if (used.count(chinese) == 0) stale += "  " + chinese + "\n";
  }
  EXPECT_TRUE(stale.empty()) << "catalog entries no source writes any more:\n" << stale;
}

}  // namespace
}  // namespace kestrum::test
