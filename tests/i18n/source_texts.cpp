#include "i18n/source_texts.h"

#include <algorithm>
#include <cctype>

#include "base/text.h"

namespace kestrum::test {

namespace {

bool IsChineseCodePoint(char32_t c) {
  return (c >= 0x3000 && c <= 0x303F) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xFF00 && c <= 0xFFEF);
}

char Escaped(char c) {
  switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case '0': return '\0';
    default: return c;  // \" \\ \'
  }
}

std::string_view LineAt(std::string_view source, std::size_t at) {
  std::size_t begin = source.rfind('\n', at);
  begin = begin == std::string_view::npos ? 0 : begin + 1;
  std::size_t end = source.find('\n', at);
  return source.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

}  // namespace

bool HasChinese(std::string_view text) {
  const std::u16string wide = FromUtf8(text);
  for (std::size_t i = 0; i < wide.size();) {
    if (IsChineseCodePoint(NextCodePoint(wide, i))) return true;
  }
  return false;
}

std::vector<SourceText> ChineseLiterals(std::string_view s) {
  std::vector<SourceText> out;
  std::string current;
  int currentLine = 0;
  bool open = false;     // a literal (or a run of adjacent ones) is being read
  bool marked = false;   // its line says it stays untranslated
  int line = 1;
  auto close = [&] {
    if (open && !marked && HasChinese(current)) out.push_back({current, currentLine});
    open = marked = false;
    current.clear();
  };
  for (std::size_t i = 0; i < s.size();) {
    char c = s[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (s.compare(i, 2, "//") == 0) {
      i = std::min(s.find('\n', i), s.size());
    } else if (s.compare(i, 2, "/*") == 0) {
      std::size_t end = std::min(s.find("*/", i + 2), s.size());
      line += static_cast<int>(std::count(s.begin() + static_cast<std::ptrdiff_t>(i),
                                          s.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
      i = std::min(end + 2, s.size());
    } else if (c == '"' || c == '\'') {
      // A literal; a prefix (u, u8, U, L) was read as an identifier just before.
      const char quote = c;
      std::string body;
      const std::size_t start = i;
      for (++i; i < s.size() && s[i] != quote && s[i] != '\n'; ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
          body += Escaped(s[++i]);
        } else {
          body += s[i];
        }
      }
      ++i;
      if (quote == '\'') {
        close();
        continue;
      }
      if (!open) {
        open = true;
        currentLine = line;
      }
      current += body;
      if (LineAt(s, start).find("untranslated") != std::string_view::npos) marked = true;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t end = i;
      while (end < s.size() && (std::isalnum(static_cast<unsigned char>(s[end])) || s[end] == '_')) ++end;
      const std::string_view word = s.substr(i, end - i);
      // A literal's prefix does not end the run of adjacent literals.
      const bool prefix = end < s.size() && s[end] == '"' && (word == "u" || word == "u8" || word == "U" || word == "L");
      if (!prefix) close();
      i = end;
    } else {
      close();
      ++i;
    }
  }
  close();
  return out;
}

std::vector<std::string> FormatArguments(std::string_view f) {
  std::vector<std::string> out;
  int next = 1;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    if (i + 1 < f.size() && f[i + 1] == '%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int position = 0;
    std::size_t digits = j;
    while (digits < f.size() && std::isdigit(static_cast<unsigned char>(f[digits]))) ++digits;
    if (digits > j && digits < f.size() && f[digits] == '$') {
      position = std::stoi(std::string(f.substr(j, digits - j)));
      j = digits + 1;
    }
    while (j < f.size() && std::string_view("-+ #0123456789.").find(f[j]) != std::string_view::npos) ++j;
    std::string conversion;
    while (j < f.size() && std::string_view("hlLqjzt").find(f[j]) != std::string_view::npos) conversion += f[j++];
    if (j < f.size()) conversion += f[j];
    out.push_back(std::to_string(position != 0 ? position : next++) + ":" + conversion);
    i = j;
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace kestrum::test
