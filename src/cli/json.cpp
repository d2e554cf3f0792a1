#include "cli/json.h"

#include "base/json_text.h"
#include "base/text.h"

namespace kestrum::cli {

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

JsonLine& JsonLine::AddBool(const char* key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
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
