// A file's first bytes from a damaged disk, as the preview reads them: the
// encoding told, then the text decoded in it and in every other encoding.
#include "base/byte_order.h"
#include "base/text_sniff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  ByteView bytes(data, size);
  const TextEncoding sniffed = SniffTextEncoding(bytes);
  (void)DecodeText(bytes, sniffed);
  for (TextEncoding e : {TextEncoding::kUtf8, TextEncoding::kUtf16Le, TextEncoding::kUtf16Be, TextEncoding::kGbk}) {
    (void)DecodeText(bytes, e);
  }
  return 0;
}
