// A Zstandard file is one or more frames (and skippable frames); a frame
// is a header and blocks whose headers give their sizes, the last one
// marked, then an optional checksum.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace zstd_layout;

std::optional<std::uint64_t> FrameEnd(ByteSource& source, std::uint64_t at) {
  ByteView head = source.Peek(at, 6);
  if (head.size() < 6) return std::nullopt;
  const std::uint32_t magic = ReadLe32(head, 0);
  if ((magic & kSkippableMask) == kSkippableMagic) return at + 8 + std::uint64_t{ReadLe32(head, 4)};
  if (magic != kMagic) return std::nullopt;
  const std::uint8_t descriptor = head[4];
  if (descriptor & kReservedBit) return std::nullopt;
  const bool single = descriptor & kSingleSegment;
  const unsigned fcsCode = descriptor >> 6;
  const unsigned fcsSize = fcsCode == 0 ? (single ? 1 : 0) : 1u << fcsCode;
  const unsigned dictCode = descriptor & 0x03;
  const unsigned dictSize = dictCode == 3 ? 4 : dictCode;
  std::uint64_t p = at + 5 + (single ? 0 : 1) + dictSize + fcsSize;
  for (bool last = false; !last;) {
    ByteView block = source.Peek(p, kBlockHeaderSize);
    if (block.size() < kBlockHeaderSize) return std::nullopt;
    const std::uint32_t bits = block[0] | block[1] << 8 | std::uint32_t{block[2]} << 16;
    last = bits & 1;
    const unsigned type = bits >> 1 & 3;
    const std::uint32_t size = bits >> 3;
    if (type == kReservedBlock || size > kMaxBlockSize) return std::nullopt;
    p += kBlockHeaderSize + (type == kRleBlock ? 1 : size);
  }
  if (descriptor & kChecksumFlag) p += 4;
  return p;
}

}  // namespace

FileEnd FindZstdEnd(ByteSource& source) {
  std::optional<std::uint64_t> end = FrameEnd(source, 0);
  if (!end || !source.Fits(0, *end)) return std::nullopt;
  // Frames written one after another (zstd of several files, or in pieces).
  while (std::optional<std::uint64_t> next = FrameEnd(source, *end)) {
    if (*next > source.Limit()) break;
    end = next;
  }
  return end;
}

}  // namespace kestrum
