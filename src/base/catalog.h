#pragma once
// The language of the program's words, and the catalog that gives each
// Chinese text its English one. The Chinese text is the key, so a text that
// has no English yet is shown in Chinese rather than lost; the desktop
// program's own texts use Qt's translations, the core's and the CLI's this.

#include <cstdarg>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrum {

enum class Language { kChinese, kEnglish };

// "zh" or "en"; nullopt for anything else.
std::optional<Language> ParseLanguage(std::string_view name);
// KESTRUM_LANG when it names one, else the locale's language as gettext reads
// it (LC_ALL, LC_MESSAGES, LANG; LANGUAGE first unless the locale is C):
// Chinese for zh, English for any other. `systemLocale` is the user's locale
// as a system that keeps it outside the environment names it ("zh-CN" on
// Windows): it counts when no locale variable is set.
Language LanguageFromEnvironment(const std::function<const char*(const char*)>& lookup,
                                 std::string_view systemLocale = {});
Language LanguageFromEnvironment(std::string_view systemLocale = {});
// What "--lang zh|en" (or "--lang=…") on a command line asks for, before the
// rest of the line is read; nullopt without one that names a language.
std::optional<Language> LanguageOption(int argc, const char* const* argv);
// The option, else the environment (and the system's locale, as above).
Language ChosenLanguage(int argc, const char* const* argv, std::string_view systemLocale = {});

// The language every text is given in from now on (process-wide).
void SetLanguage(Language language);
Language CurrentLanguage();

// `chinese` in the current language.
std::u16string Tr(std::u16string_view chinese);
// FormatText over the current language's form of the format (UTF-8).
std::u16string TrFormat(const char* chineseFormat, ...) __attribute__((format(KESTRUM_PRINTF_FORMAT, 1, 2)));

struct CatalogEntry {
  const char* chinese;  // UTF-8, as the source writes it
  const char* english;
};
std::span<const CatalogEntry> EnglishCatalog();

}  // namespace kestrum
