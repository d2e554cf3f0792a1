// A GIF is a header, an optional colour table, then images and extensions,
// each a short header and a chain of sub-blocks, up to the 0x3B trailer.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace gif_layout;

std::uint64_t ColorTableBytes(std::uint8_t flags) {
  return (flags & kColorTableFlag) ? 3u << ((flags & kColorTableSizeMask) + 1) : 0;
}

// From a sub-block length byte: just past the zero-length block that ends
// the chain, or nothing when the limit comes first.
std::optional<std::uint64_t> SkipSubBlocks(ByteSource& source, std::uint64_t at) {
  while (source.Has(at, 1)) {
    const std::uint8_t length = source.Byte(at);
    at += 1 + length;
    if (length == 0) return at;
  }
  return std::nullopt;
}

}  // namespace

FileEnd FindGifEnd(ByteSource& source) {
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize) return std::nullopt;
  std::uint64_t at = kHeaderSize + ColorTableBytes(header[kScreenFlags]);
  bool sawImage = false;
  while (source.Has(at, 1)) {
    const std::uint8_t kind = source.Byte(at);
    std::optional<std::uint64_t> next;
    if (kind == kTrailer) {
      return sawImage ? FileEnd(at + 1) : std::nullopt;
    } else if (kind == kExtension) {
      next = SkipSubBlocks(source, at + 2);  // after the label byte
    } else if (kind == kImage) {
      ByteView image = source.Peek(at, kImageDescriptorSize);
      if (image.size() < kImageDescriptorSize) return std::nullopt;
      // The colour table, then the LZW code size byte, then the data.
      const std::uint64_t data = at + kImageDescriptorSize + ColorTableBytes(image[kImageFlags]);
      const std::uint8_t codeSize = source.Byte(data);
      if (codeSize < 1 || codeSize > 11) return std::nullopt;
      next = SkipSubBlocks(source, data + 1);
      sawImage = true;
    }
    if (!next) return std::nullopt;
    at = *next;
  }
  return std::nullopt;
}

}  // namespace kestrum
