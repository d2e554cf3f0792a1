// A PNG is its signature and a chain of chunks, IHDR first and IEND last;
// each chunk header gives the length of its data, so only the headers are
// looked at.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace png_layout;

bool IsChunkType(ByteView header) {
  for (std::size_t i = kChunkType; i < kChunkType + 4; ++i) {
    const std::uint8_t c = header[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

}  // namespace

FileEnd FindPngEnd(ByteSource& source) {
  std::uint64_t at = kSignatureSize;
  for (bool first = true;; first = false) {
    ByteView header = source.Peek(at, kChunkHeaderSize);
    if (header.size() < kChunkHeaderSize || !IsChunkType(header)) return std::nullopt;
    const std::uint32_t length = ReadBe32(header, kChunkLength);
    if (length > kMaxChunkLength) return std::nullopt;
    if (first != HasTag(header, kChunkType, "IHDR")) return std::nullopt;
    const bool last = HasTag(header, kChunkType, "IEND");
    at += kChunkHeaderSize + length;
    if (last) {
      ByteView crc = source.Peek(at, kChunkCrcSize);
      if (length != 0 || crc.size() < kChunkCrcSize || ReadBe32(crc, 0) != kIendCrc) return std::nullopt;
      return at + kChunkCrcSize;
    }
    at += kChunkCrcSize;
  }
}

}  // namespace kestrum
