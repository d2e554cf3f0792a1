// A BMP says its own size in its file header. The size is taken only when the
// header around it is consistent: a known info-header size, pixel data that
// begins after the headers and, for plain rows, fits the size.

#include <cstdlib>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace bmp_layout;

bool IsInfoSize(std::uint32_t size) {
  return size == kCoreInfoSize || size == kInfoHeaderSize || size == 52 || size == 56 || size == 64 ||
         size == 108 || size == 124;
}

// Bytes of plain (uncompressed) pixel rows, each padded to 4 bytes; 0 when
// the header does not describe plain rows.
std::uint64_t PlainPixelBytes(ByteView header, std::uint32_t infoSize) {
  if (infoSize < kInfoHeaderSize || ReadLe32(header, kCompression) != 0) return 0;
  const auto width = static_cast<std::int32_t>(ReadLe32(header, kWidth));
  const auto height = static_cast<std::int32_t>(ReadLe32(header, kHeight));
  const std::uint16_t bits = ReadLe16(header, kBitsPerPixel);
  if (width <= 0 || height == 0 || bits == 0) return 0;
  const std::uint64_t row = (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
  return row * static_cast<std::uint64_t>(std::llabs(height));
}

}  // namespace

FileEnd FindBmpEnd(ByteSource& source) {
  ByteView header = source.Peek(0, kFileHeaderSize + kInfoHeaderSize);
  if (header.size() < kFileHeaderSize + kCoreInfoSize) return std::nullopt;
  const std::uint32_t size = ReadLe32(header, kFileSize);
  const std::uint32_t pixels = ReadLe32(header, kPixelOffset);
  const std::uint32_t infoSize = ReadLe32(header, kInfoSize);
  if (!IsInfoSize(infoSize) || pixels < kFileHeaderSize + infoSize || pixels > size) return std::nullopt;
  if (std::uint64_t{pixels} + PlainPixelBytes(header, infoSize) > size) return std::nullopt;
  if (size > source.Limit()) return std::nullopt;
  return size;
}

}  // namespace kestrum
