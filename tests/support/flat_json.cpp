#include "support/flat_json.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "support/run_command.h"

namespace kestrum::test {

namespace {

void SkipSpace(const std::string& s, std::size_t& i) {
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
}

bool ParseString(const std::string& s, std::size_t& i, std::string& out) {
  if (i >= s.size() || s[i] != '"') return false;
  ++i;
  std::u16string units;
  std::string raw;
  auto flushRaw = [&] {
    units += FromUtf8(raw);
    raw.clear();
  };
  while (i < s.size() && s[i] != '"') {
    if (s[i] != '\\') {
      raw += s[i++];
      continue;
    }
    if (++i >= s.size()) return false;
    char e = s[i++];
    switch (e) {
      case 'n': raw += '\n'; break;
      case 'r': raw += '\r'; break;
      case 't': raw += '\t'; break;
      case 'b': raw += '\b'; break;
      case 'f': raw += '\f'; break;
      case 'u': {
        if (i + 4 > s.size()) return false;
        flushRaw();
        units += static_cast<char16_t>(std::stoul(s.substr(i, 4), nullptr, 16));
        i += 4;
        break;
      }
      default: raw += e;
    }
  }
  if (i >= s.size()) return false;
  ++i;
  flushRaw();
  out = ToUtf8(units);
  return true;
}

}  // namespace

bool ParseFlatObject(const std::string& line, FlatObject& out) {
  out.clear();
  std::size_t i = 0;
  SkipSpace(line, i);
  if (i >= line.size() || line[i++] != '{') return false;
  SkipSpace(line, i);
  if (i < line.size() && line[i] == '}') return true;
  for (;;) {
    std::string key;
    SkipSpace(line, i);
    if (!ParseString(line, i, key)) return false;
    SkipSpace(line, i);
    if (i >= line.size() || line[i++] != ':') return false;
    SkipSpace(line, i);
    if (i < line.size() && line[i] == '"') {
      std::string value;
      if (!ParseString(line, i, value)) return false;
      out[key] = value;
    } else {
      std::size_t start = i;
      while (i < line.size() && line[i] != ',' && line[i] != '}') ++i;
      std::string value = line.substr(start, i - start);
      while (!value.empty() && value.back() == ' ') value.pop_back();
      if (value == "null") {
        out[key] = std::nullopt;
      } else {
        out[key] = value;
      }
    }
    SkipSpace(line, i);
    if (i >= line.size()) return false;
    if (line[i] == '}') return true;
    if (line[i++] != ',') return false;
  }
}

std::vector<FlatObject> ParseJsonLines(const std::string& text) {
  std::vector<FlatObject> objects;
  for (const std::string& line : Lines(text)) {
    if (line.empty()) continue;
    FlatObject object;
    EXPECT_TRUE(ParseFlatObject(line, object)) << "not a JSON object: " << line;
    objects.push_back(object);
  }
  return objects;
}

}  // namespace kestrum::test
