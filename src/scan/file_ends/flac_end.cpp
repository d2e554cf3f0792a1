// A FLAC stream is "fLaC", metadata blocks up to the one marked last, then
// audio frames. Frames carry no length: each is a header protected by a
// CRC-8 and ends with a CRC-16 of the whole frame, so a frame ends at the
// first place where the CRC-16 of what came before matches and either the
// next frame's header or the stream's last sample follows.

#include <algorithm>
#include <bit>
#include <vector>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace flac_layout;

std::uint8_t Crc8(std::uint8_t crc, std::uint8_t byte) {
  crc ^= byte;
  for (int i = 0; i < 8; ++i) crc = static_cast<std::uint8_t>(crc & 0x80 ? crc << 1 ^ 0x07 : crc << 1);
  return crc;
}

struct Crc16Table {
  std::uint16_t t[256];
  constexpr Crc16Table() : t() {
    for (int i = 0; i < 256; ++i) {
      std::uint16_t c = static_cast<std::uint16_t>(i << 8);
      for (int b = 0; b < 8; ++b) c = static_cast<std::uint16_t>(c & 0x8000 ? c << 1 ^ 0x8005 : c << 1);
      t[i] = c;
    }
  }
};
constexpr Crc16Table kCrc16;

// The samples in the frame whose header starts at `at`, when the header
// is one (its CRC-8 checked).
std::optional<std::uint32_t> FrameHeader(ByteSource& source, std::uint64_t at) {
  ByteView h = source.Peek(at, kMaxFrameHeader);
  if (h.size() < 6 || h[0] != 0xFF || (h[1] & 0xFE) != 0xF8) return std::nullopt;
  const std::uint8_t blockCode = h[2] >> 4;
  const std::uint8_t rateCode = h[2] & 0x0F;
  if (blockCode == 0 || rateCode == 0x0F || (h[3] >> 4) > 10 || (h[3] & 0x01)) return std::nullopt;
  std::size_t i = 4;
  // The frame or sample number, coded like UTF-8 (up to 7 bytes).
  const int extra = h[i] < 0x80 ? 0 : h[i] >= 0xFE ? 6 : std::countl_one(h[i]) - 1;
  if (extra < 0 || (h[i] >= 0x80 && h[i] < 0xC0)) return std::nullopt;
  for (int k = 1; k <= extra; ++k) {
    if (i + k >= h.size() || (h[i + k] & 0xC0) != 0x80) return std::nullopt;
  }
  i += 1 + extra;
  std::uint32_t samples = 0;
  if (blockCode == 1) samples = 192;
  else if (blockCode <= 5) samples = 576u << (blockCode - 2);
  else if (blockCode == 6) samples = h[i++] + 1u;
  else if (blockCode == 7) samples = (std::uint32_t{h[i]} << 8 | h[i + 1]) + 1, i += 2;
  else samples = 256u << (blockCode - 8);
  if (rateCode == 12) i += 1;
  else if (rateCode == 13 || rateCode == 14) i += 2;
  if (i >= h.size()) return std::nullopt;
  std::uint8_t crc = 0;
  for (std::size_t k = 0; k < i; ++k) crc = Crc8(crc, h[k]);
  return crc == h[i] ? std::optional<std::uint32_t>(samples) : std::nullopt;
}

}  // namespace

FileEnd FindFlacEnd(ByteSource& source) {
  std::uint64_t at = kMagicSize;
  std::uint64_t totalSamples = 0;
  std::uint64_t minFrame = kLeastFrame;
  for (bool last = false; !last;) {
    ByteView block = source.Peek(at, kBlockHeaderSize + kStreamInfoSize);
    if (block.size() < kBlockHeaderSize) return std::nullopt;
    last = block[0] & kLastBlock;
    const std::uint8_t type = block[0] & 0x7F;
    const std::uint32_t length = ReadBe32(block, 0) & 0xFFFFFF;
    if (type == kInvalidBlockType || (at == kMagicSize) != (type == kStreamInfo)) return std::nullopt;
    if (type == kStreamInfo) {
      if (length != kStreamInfoSize || block.size() < kBlockHeaderSize + kStreamInfoSize) return std::nullopt;
      minFrame = std::max<std::uint64_t>(kLeastFrame, ReadBe32(block, kBlockHeaderSize + kMinFrameSize) >> 8);
      totalSamples = std::uint64_t{block[kBlockHeaderSize + kTotalSamples] & 0x0Fu} << 32 |
                     ReadBe32(block, kBlockHeaderSize + kTotalSamples + 1);
    }
    at += kBlockHeaderSize + length;
  }
  std::uint64_t samples = 0;
  std::optional<std::uint32_t> frame = FrameHeader(source, at);
  if (!frame) return std::nullopt;
  std::vector<std::uint8_t> chunk;
  while (true) {
    samples += *frame;
    // The CRC-16 of [at, p): where the next two bytes hold it, the frame
    // may end.
    std::uint16_t crc = 0;
    std::uint64_t p = at;
    std::optional<std::uint32_t> next;
    while (!next) {
      ByteView v = source.Peek(p, kChunk);
      if (v.size() < 2) return std::nullopt;
      chunk.assign(v.begin(), v.end());  // FrameHeader below moves the window
      std::size_t k = 0;
      for (; k + 1 < chunk.size(); ++k) {
        if (p + k + 2 >= at + minFrame && (std::uint16_t{chunk[k]} << 8 | chunk[k + 1]) == crc) {
          const std::uint64_t end = p + k + 2;
          if (totalSamples != 0 && samples >= totalSamples) return end;
          if ((next = FrameHeader(source, end))) {
            at = end;
            break;
          }
        }
        crc = static_cast<std::uint16_t>(crc << 8 ^ kCrc16.t[(crc >> 8) ^ chunk[k]]);
      }
      p += k;
    }
    frame = next;
  }
}

}  // namespace kestrum
