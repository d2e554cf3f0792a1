#include "base/text.h"

#include "platform/windows/win32.h"

namespace kestrum {

namespace {

constexpr UINT kGbk = 936;

// One character from `length` bytes, or false when they are not one.
bool DecodeOne(const char* bytes, int length, char16_t& out) {
  wchar_t wide[2] = {};
  if (MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, bytes, length, wide, 2) != 1) return false;
  out = static_cast<char16_t>(wide[0]);
  return true;
}

}  // namespace

std::u16string FromGbk(std::string_view bytes) {
  std::u16string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    char16_t c = 0;
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      out += static_cast<char16_t>(bytes[i]);
      i += 1;
    } else if (DecodeOne(bytes.data() + i, 1, c)) {
      out += c;
      i += 1;
    } else if (i + 1 < bytes.size() && DecodeOne(bytes.data() + i, 2, c)) {
      out += c;
      i += 2;
    } else {
      out += u'\uFFFD';  // an invalid or truncated sequence: skip one byte
      i += 1;
    }
  }
  return out;
}

}  // namespace kestrum
