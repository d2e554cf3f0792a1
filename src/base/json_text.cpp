#include "base/json_text.h"

#include "base/text.h"

namespace kestrum {

namespace {

void AppendEscapedControl(std::string& out, unsigned char b) {
  switch (b) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default: {
      static constexpr char kHex[] = "0123456789abcdef";
      char buf[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 0xF]};
      out.append(buf, sizeof buf);
    }
  }
}

}  // namespace

std::string JsonEscape(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  std::size_t plain = 0;  // start of the run of characters that need no escape
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b >= 0x20 && b != '"' && b != '\\') continue;
    out.append(utf8, plain, i - plain);
    plain = i + 1;
    AppendEscapedControl(out, b);
  }
  out.append(utf8, plain, std::string::npos);
  out += '"';
  return out;
}

void AppendJsonChars(std::string& out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    // Names are mostly plain ASCII: copy such runs without decoding them.
    std::size_t plain = i;
    while (plain < text.size() && text[plain] >= 0x20 && text[plain] < 0x80 &&
           text[plain] != u'"' && text[plain] != u'\\') {
      ++plain;
    }
    if (plain > i) {
      std::size_t at = out.size();
      out.resize(at + (plain - i));
      for (; i < plain; ++i) out[at++] = static_cast<char>(text[i]);
      continue;
    }
    char32_t c = NextCodePoint(text, i);
    if (c >= 0x20 && c != '"' && c != '\\') {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        AppendUtf8(out, c);
      }
    } else {
      AppendEscapedControl(out, static_cast<unsigned char>(c));
    }
  }
}

}  // namespace kestrum
