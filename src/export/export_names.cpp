#include "export/export_names.h"

#include <string>

namespace kestrum {

namespace {

// An extension longer than this is treated as part of the name when a name
// has to be cut: keeping ".tar.gz"-like tails matters, keeping half a name does not.
constexpr std::size_t kMaxKeptExtensionBytes = 32;

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Bytes of the character starting at text[i], and how many code units it takes.
std::size_t CharBytes(const std::u16string& text, std::size_t i, std::size_t& units) {
  char16_t c = text[i];
  units = 1;
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
    units = 2;
    return 4;
  }
  return 3;  // other BMP characters, and lone surrogates written as U+FFFD
}

// The longest prefix of `text` that fits in `limit` bytes, never splitting a pair.
std::u16string PrefixWithin(const std::u16string& text, std::size_t limit) {
  std::size_t bytes = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t units = 0;
    std::size_t n = CharBytes(text, i, units);
    if (bytes + n > limit) break;
    bytes += n;
    i += units;
  }
  return text.substr(0, i);
}

// Splits at the last dot that is neither the first nor the last character.
void SplitExtension(const std::u16string& name, std::u16string& stem, std::u16string& extension) {
  std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos || dot == 0 || dot + 1 == name.size()) {
    stem = name;
    extension.clear();
  } else {
    stem = name.substr(0, dot);
    extension = name.substr(dot);
  }
}

// stem + tail + extension within kMaxNameBytes; the stem gives way first.
std::u16string Fit(const std::u16string& stem, const std::u16string& tail,
                   const std::u16string& extension) {
  std::u16string ext = extension;
  std::size_t fixed = Utf8Length(tail) + Utf8Length(ext);
  if (Utf8Length(ext) > kMaxKeptExtensionBytes || fixed > kMaxNameBytes) {
    // A long "extension" is just more name: cut the whole thing instead.
    std::u16string whole = PrefixWithin(stem + ext, kMaxNameBytes - Utf8Length(tail));
    return whole + tail;
  }
  return PrefixWithin(stem, kMaxNameBytes - fixed) + tail + ext;
}

bool IsReserved(const std::u16string& name) { return name.empty() || name == u"." || name == u".."; }

}  // namespace

std::size_t Utf8Length(const std::u16string& text) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t units = 0;
    bytes += CharBytes(text, i, units);
    i += units;
  }
  return bytes;
}

std::u16string CleanExportName(const std::u16string& name) {
  if (IsReserved(name)) return u"_" + name;
  std::u16string clean;
  clean.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c == u'/' || c == 0 || c == u'\\' || c == u':') {
      clean += u'_';
    } else if (IsHigh(c) && i + 1 < name.size() && IsLow(name[i + 1])) {
      clean += c;
      clean += name[++i];
    } else if (IsHigh(c) || IsLow(c)) {
      clean += u'\uFFFD';  // what it would become on disk anyway; counted as such
    } else {
      clean += c;
    }
  }
  if (Utf8Length(clean) > kMaxNameBytes) {
    std::u16string stem;
    std::u16string extension;
    SplitExtension(clean, stem, extension);
    clean = Fit(stem, u"", extension);
  }
  return IsReserved(clean) ? u"_" + clean : clean;
}

std::u16string NumberedName(const std::u16string& cleanName, unsigned n) {
  std::u16string stem;
  std::u16string extension;
  SplitExtension(cleanName, stem, extension);
  std::string digits = std::to_string(n);
  std::u16string tail = u" (" + std::u16string(digits.begin(), digits.end()) + u")";
  return Fit(stem, tail, extension);
}

}  // namespace kestrum
