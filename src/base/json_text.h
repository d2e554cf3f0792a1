#pragma once
// JSON string text: what the command line prints and the export report writes.

#include <string>
#include <string_view>

namespace kestrum {

// `utf8` as a JSON string, quotes included; control characters escaped.
std::string JsonEscape(const std::string& utf8);

// Appends `text` as the inside of a JSON string: UTF-16 to UTF-8 and escaping
// in one pass, with the same bytes as JsonEscape(ToUtf8(text)) less the quotes.
void AppendJsonChars(std::string& out, std::u16string_view text);

}  // namespace kestrum
