#include "base/catalog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "base/text.h"

namespace kestrum {

namespace {

std::atomic<Language> gLanguage{Language::kChinese};

std::string_view English(std::string_view chinese) {
  static const auto* index = [] {
    auto* map = new std::unordered_map<std::string_view, std::string_view>;
    for (const CatalogEntry& entry : EnglishCatalog()) map->emplace(entry.chinese, entry.english);
    return map;
  }();
  auto it = index->find(chinese);
  return it == index->end() ? chinese : it->second;
}

bool IsCLocale(std::string_view locale) {
  return locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0;
}

Language LanguageOfLocale(std::string_view locale) {
  return locale.rfind("zh", 0) == 0 ? Language::kChinese : Language::kEnglish;
}

}  // namespace

std::optional<Language> ParseLanguage(std::string_view name) {
  if (name == "zh") return Language::kChinese;
  if (name == "en") return Language::kEnglish;
  return std::nullopt;
}

Language LanguageFromEnvironment(const std::function<const char*(const char*)>& lookup,
                                 std::string_view systemLocale) {
  auto value = [&lookup](const char* name) {
    const char* v = lookup(name);
    return std::string_view(v ? v : "");
  };
  if (auto chosen = ParseLanguage(value("KESTRUM_LANG"))) return *chosen;
  std::string_view locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = value(name);
    if (!locale.empty()) break;
  }
  if (locale.empty() && !systemLocale.empty()) return LanguageOfLocale(systemLocale);
  if (IsCLocale(locale)) return Language::kEnglish;
  std::string_view list = value("LANGUAGE");
  if (!list.empty()) return LanguageOfLocale(list.substr(0, list.find(':')));
  return LanguageOfLocale(locale);
}

Language LanguageFromEnvironment(std::string_view systemLocale) {
  return LanguageFromEnvironment([](const char* name) { return std::getenv(name); }, systemLocale);
}

std::optional<Language> LanguageOption(int argc, const char* const* argv) {
  std::optional<Language> chosen;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    if (word == "--") break;
    if (word == "--lang" && i + 1 < argc) {
      chosen = ParseLanguage(argv[++i]);
    } else if (word.rfind("--lang=", 0) == 0) {
      chosen = ParseLanguage(word.substr(7));
    }
  }
  return chosen;
}

Language ChosenLanguage(int argc, const char* const* argv, std::string_view systemLocale) {
  return LanguageOption(argc, argv).value_or(LanguageFromEnvironment(systemLocale));
}

void SetLanguage(Language language) { gLanguage = language; }
Language CurrentLanguage() { return gLanguage; }

std::u16string Tr(std::u16string_view chinese) {
  if (CurrentLanguage() == Language::kChinese) return std::u16string(chinese);
  const std::string key = ToUtf8(chinese);
  const std::string_view english = English(key);
  return english.data() == key.data() ? std::u16string(chinese) : FromUtf8(english);
}

std::u16string TrFormat(const char* chineseFormat, ...) {
  const std::string format(CurrentLanguage() == Language::kChinese ? std::string_view(chineseFormat)
                                                                   : English(chineseFormat));
  va_list args;
  va_start(args, chineseFormat);
  va_list again;
  va_copy(again, args);
  std::vector<char> buffer(1024);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int n = std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), args);
  if (n >= 0 && static_cast<std::size_t>(n) >= buffer.size()) {
    buffer.resize(static_cast<std::size_t>(n) + 1);
    n = std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), again);
  }
#pragma GCC diagnostic pop
  va_end(again);
  va_end(args);
  if (n < 0) return {};
  return FromUtf8(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
}

}  // namespace kestrum
