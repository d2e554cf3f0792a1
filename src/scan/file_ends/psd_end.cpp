// A Photoshop file is a header, three sections that give their lengths
// (colour mode data, image resources, layers and masks), and the merged
// image: raw rows, or run-length rows whose byte counts come first.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindPsdEnd(ByteSource& source) {
  using namespace psd_layout;
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize || ReadBe16(header, kVersion) != 1) return std::nullopt;
  const std::uint64_t channels = ReadBe16(header, kChannels), height = ReadBe32(header, kHeight),
                      width = ReadBe32(header, kWidth), depth = ReadBe16(header, kDepth);
  if (channels == 0 || channels > 56 || height == 0 || width == 0 || height > kMaxSide || width > kMaxSide ||
      (depth != 1 && depth != 8 && depth != 16 && depth != 32)) {
    return std::nullopt;
  }
  std::uint64_t at = kHeaderSize;
  for (int section = 0; section < 3; ++section) {
    ByteView length = source.Peek(at, 4);
    if (length.size() < 4) return std::nullopt;
    at += 4 + std::uint64_t{ReadBe32(length, 0)};
  }
  ByteView compression = source.Peek(at, 2);
  if (compression.size() < 2) return std::nullopt;
  at += 2;
  const std::uint64_t rows = channels * height;
  const std::uint64_t rowBytes = (width * depth + 7) / 8;
  switch (ReadBe16(compression, 0)) {
    case kRaw: at += rows * rowBytes; break;
    case kRle: {
      std::uint64_t data = 0;
      for (std::uint64_t r = 0; r < rows; ++r) {
        ByteView count = source.Peek(at + 2 * r, 2);
        if (count.size() < 2) return std::nullopt;
        data += ReadBe16(count, 0);
      }
      at += 2 * rows + data;
      break;
    }
    default: return std::nullopt;  // zip-compressed image data gives no length
  }
  if (!source.Fits(0, at)) return std::nullopt;
  return at;
}

}  // namespace kestrum
