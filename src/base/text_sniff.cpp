#include "base/text_sniff.h"

#include <algorithm>
#include <string_view>

#include "base/text.h"

namespace kestrum {

namespace {

bool StartsWith(ByteView bytes, std::initializer_list<std::uint8_t> mark) {
  return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

// Bytes of the UTF-8 sequence that starts at bytes[i], 0 when it is not a
// valid one; a sequence cut off by the end of the bytes counts as valid.
std::size_t Utf8SequenceAt(ByteView bytes, std::size_t i) {
  const std::uint8_t b = bytes[i];
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= bytes.size()) return bytes.size() - i;  // cut off at the end
    const std::uint8_t c = bytes[i + k];
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

bool IsUtf8(ByteView bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8SequenceAt(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// GBK: ASCII, or a lead byte 0x81–0xFE with a trail 0x40–0xFE other than 0x7F.
bool IsGbk(ByteView bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    if (b < 0x80) continue;
    if (b == 0x80 || b == 0xFF) return false;
    if (i + 1 == bytes.size()) return true;  // cut off at the end
    const std::uint8_t t = bytes[++i];
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
  }
  return true;
}

// Control characters that text holds: tab, line feed, form feed, carriage
// return, escape (terminal colours), and SUB (an old end-of-file mark).
bool IsTextControl(std::uint8_t b) { return b == 9 || b == 10 || b == 12 || b == 13 || b == 27 || b == 26; }

bool LooksBinary(ByteView bytes) {
  std::size_t controls = 0;
  for (std::uint8_t b : bytes) {
    if (b == 0) return true;
    if ((b < 0x20 && !IsTextControl(b)) || b == 0x7F) ++controls;
  }
  return controls * 100 > bytes.size();  // more than one in a hundred
}

// Zero bytes in the even and in the odd places of the first bytes.
void CountZeros(ByteView bytes, std::size_t& even, std::size_t& odd) {
  even = odd = 0;
  const std::size_t n = std::min<std::size_t>(bytes.size(), 4096);
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] == 0) ++((i % 2 == 0) ? even : odd);
  }
}

std::u16string DecodeUtf16(ByteView bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1] : bytes[i] | (bytes[i + 1] << 8)));
  }
  // A high surrogate whose partner was cut off.
  if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
  return text;
}

}  // namespace

TextEncoding SniffTextEncoding(ByteView bytes) {
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return TextEncoding::kUtf8;
  if (StartsWith(bytes, {0xFF, 0xFE})) return TextEncoding::kUtf16Le;
  if (StartsWith(bytes, {0xFE, 0xFF})) return TextEncoding::kUtf16Be;
  if (bytes.empty()) return TextEncoding::kUtf8;
  std::size_t even = 0, odd = 0;
  CountZeros(bytes, even, odd);
  const std::size_t sampled = std::min<std::size_t>(bytes.size(), 4096);
  // Latin text in UTF-16 has a zero in nearly every other byte, and only there.
  if (odd * 4 > sampled && even * 50 < sampled) return TextEncoding::kUtf16Le;
  if (even * 4 > sampled && odd * 50 < sampled) return TextEncoding::kUtf16Be;
  if (LooksBinary(bytes)) return TextEncoding::kBinary;
  if (IsUtf8(bytes)) return TextEncoding::kUtf8;
  if (IsGbk(bytes)) return TextEncoding::kGbk;
  return TextEncoding::kBinary;
}

const char* TextEncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8: return "UTF-8";
    case TextEncoding::kUtf16Le: return "UTF-16LE";
    case TextEncoding::kUtf16Be: return "UTF-16BE";
    case TextEncoding::kGbk: return "GBK";
    case TextEncoding::kBinary: break;
  }
  return "";
}

std::u16string DecodeText(ByteView bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8: {
      if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) bytes = bytes.subspan(3);
      // A sequence cut off at the end is left out.
      std::size_t end = bytes.size();
      for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const std::uint8_t b = bytes[bytes.size() - back];
        if ((b & 0xC0) == 0x80) continue;
        const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (n > back) end = bytes.size() - back;
        break;
      }
      return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), end));
    }
    case TextEncoding::kUtf16Le:
      return DecodeUtf16(StartsWith(bytes, {0xFF, 0xFE}) ? bytes.subspan(2) : bytes, false);
    case TextEncoding::kUtf16Be:
      return DecodeUtf16(StartsWith(bytes, {0xFE, 0xFF}) ? bytes.subspan(2) : bytes, true);
    case TextEncoding::kGbk: {
      // A lead byte without its trail is left out.
      std::size_t end = 0;
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] >= 0x80) {
          if (i + 1 == bytes.size()) break;
          ++i;
        }
        end = i + 1;
      }
      return FromGbk(std::string_view(reinterpret_cast<const char*>(bytes.data()), end));
    }
    case TextEncoding::kBinary: break;
  }
  return u"";
}

}  // namespace kestrum
