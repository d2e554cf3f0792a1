#include "cli/json.h"

#include <cstdio>

#include "base/text.h"

namespace kestrum::cli {

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
    switch (b) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", b);
        out += buf;
      }
    }
  }
  out.append(utf8, plain, std::string::npos);
  out += '"';
  return out;
}

void JsonLine::Key(const char* key) {
  if (text_.size() > 1) text_ += ",";
  text_ += JsonEscape(key);
  text_ += ":";
}

JsonLine& JsonLine::Add(const char* key, const std::u16string& value) {
  return Add(key, ToUtf8(value));
}

JsonLine& JsonLine::Add(const char* key, const std::string& value) {
  Key(key);
  text_ += JsonEscape(value);
  return *this;
}

JsonLine& JsonLine::Add(const char* key, std::uint64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Add(const char* key, std::int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::AddNull(const char* key) {
  Key(key);
  text_ += "null";
  return *this;
}

}  // namespace kestrum::cli
