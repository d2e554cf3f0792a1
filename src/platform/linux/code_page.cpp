#include "base/text.h"

#include <iconv.h>

#include <vector>

namespace kestrum {

std::u16string FromGbk(std::string_view bytes) {
  iconv_t cd = iconv_open("UTF-16LE", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::u16string out;  // no converter: keep ASCII, mark the rest
    for (char ch : bytes) out += static_cast<unsigned char>(ch) < 0x80 ? char16_t(ch) : u'\uFFFD';
    return out;
  }
  std::u16string out;
  std::vector<char> in(bytes.begin(), bytes.end());
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  std::vector<char> buffer(4 * in.size() + 8);
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    std::size_t produced = buffer.size() - outLeft;
    for (std::size_t k = 0; k + 1 < produced; k += 2) {
      out += static_cast<char16_t>(static_cast<unsigned char>(buffer[k]) |
                                   (static_cast<unsigned char>(buffer[k + 1]) << 8));
    }
    if (rc == static_cast<std::size_t>(-1) && inLeft > 0) {
      out += u'\uFFFD';  // an invalid or truncated sequence: skip one byte
      ++inPtr;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace kestrum
