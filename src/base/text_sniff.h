#pragma once
// What a file's first bytes are written in, for a preview: UTF-8, UTF-16
// (little or big endian) or GBK text, or not text at all. The bytes may stop
// in the middle of a character, as the start of a longer file does.

#include <string>

#include "base/byte_order.h"

namespace kestrum {

enum class TextEncoding { kUtf8, kUtf16Le, kUtf16Be, kGbk, kBinary };

// A byte-order mark decides; without one, UTF-16 shows as zero bytes in
// every other place, UTF-8 and GBK by their multi-byte sequences being
// valid throughout (UTF-8 first: pure ASCII is UTF-8). NUL bytes or many
// control characters make it binary.
TextEncoding SniffTextEncoding(ByteView bytes);

// "UTF-8", "UTF-16LE", "UTF-16BE", "GBK", "" for binary.
const char* TextEncodingName(TextEncoding encoding);

// The text, without its byte-order mark; a character cut off at the end is
// left out, anything undecodable becomes U+FFFD.
std::u16string DecodeText(ByteView bytes, TextEncoding encoding);

}  // namespace kestrum
