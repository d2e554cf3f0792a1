#include "cli/json.h"

#include <cstdio>

#include "base/text.h"

namespace kestrum::cli {

std::string JsonEscape(const std::string& utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    unsigned char b = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (b < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", b);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
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
