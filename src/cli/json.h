#pragma once
// One JSON object per line, fields in the order they are added.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/json_text.h"

namespace kestrum::cli {

class JsonLine {
 public:
  JsonLine& Add(const char* key, const std::u16string& value);
  JsonLine& Add(const char* key, const std::string& value);
  JsonLine& Add(const char* key, const char* value) { return Add(key, std::string(value)); }
  JsonLine& Add(const char* key, std::uint64_t value);
  JsonLine& Add(const char* key, std::int64_t value);
  JsonLine& Add(const char* key, std::uint32_t value) { return Add(key, std::uint64_t{value}); }
  JsonLine& Add(const char* key, std::int32_t value) { return Add(key, std::int64_t{value}); }
  JsonLine& AddBool(const char* key, bool value);
  JsonLine& AddNull(const char* key);
  std::string Text() const { return text_ + "}"; }

 private:
  void Key(const char* key);
  std::string text_ = "{";
};

using kestrum::AppendJsonChars;
using kestrum::JsonEscape;

}  // namespace kestrum::cli
