// A RealMedia file is a run of chunks (file header, properties, media
// properties, content description, data, indexes, metadata), each giving
// its size.

#include <algorithm>
#include <string_view>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"
#include "scan/file_ends/stream_walk.h"

namespace kestrum {
namespace {

using namespace real_media_layout;

// The end of the packets of the DATA chunk at `at` of `size` bytes: its
// count of packets, each giving its length, within the chunk.
std::optional<std::uint64_t> PacketsEnd(ByteSource& source, std::uint64_t at, std::uint64_t size) {
  ByteView header = source.Peek(at, kDataHeaderSize);
  if (header.size() < kDataHeaderSize) return std::nullopt;
  const std::uint32_t packets = ReadBe32(header, kPacketCount);
  std::uint64_t p = at + kDataHeaderSize;
  for (std::uint32_t i = 0; i < packets; ++i) {
    ByteView packet = source.Peek(p, 4);
    const std::uint16_t length = ReadBe16(packet, kPacketLength);
    if (packet.size() < 4 || length < kPacketHeaderSize || p + length > at + size) return std::nullopt;
    p += length;
  }
  // Some writers end the file with an 8-byte header of zeros, inside the
  // size they gave the chunk.
  ByteView tail = source.Peek(p, kEndHeaderSize);
  if (p + kEndHeaderSize <= at + size && tail.size() == kEndHeaderSize &&
      std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; })) {
    p += kEndHeaderSize;
  }
  return p;
}

}  // namespace

FileEnd FindRealMediaEnd(ByteSource& source) {
  std::uint64_t at = 0;
  std::uint64_t chunks = 0;
  bool sawData = false;
  while (true) {
    ByteView chunk = source.Peek(at, kChunkHeaderSize);
    if (chunk.size() < kChunkHeaderSize) break;
    const std::string_view id(reinterpret_cast<const char*>(chunk.data()), 4);
    if (std::find(std::begin(kChunkIds), std::end(kChunkIds), id) == std::end(kChunkIds) ||
        (chunks == 0) != (id == ".RMF")) {
      break;
    }
    const std::uint32_t size = ReadBe32(chunk, kChunkSize);
    if (size < kChunkHeaderSize || !source.Fits(at, size)) return std::nullopt;
    if (id == "DATA") {
      // Some writers give a size past the packets; the packets tell.
      std::optional<std::uint64_t> packets = PacketsEnd(source, at, size);
      if (!packets) return std::nullopt;
      sawData = true;
      at = *packets;
    } else {
      at += size;
    }
    ++chunks;
  }
  return sawData ? RunEnd(source, at, chunks, 2) : std::nullopt;
}

}  // namespace kestrum
