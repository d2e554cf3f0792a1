// An FLV file is a header and a run of tags (audio, video, script data),
// each followed by the size of the tag before it; it ends after the last
// tag's back pointer.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"
#include "scan/file_ends/stream_walk.h"

namespace kestrum {

FileEnd FindFlvEnd(ByteSource& source) {
  using namespace flv_layout;
  ByteView header = source.Peek(0, kHeaderSize + 4);
  if (header.size() < kHeaderSize + 4) return std::nullopt;
  std::uint64_t at = ReadBe32(header, kDataOffset);
  if (at < kHeaderSize || ReadBe32(source.Peek(at, 4), 0) != 0) return std::nullopt;
  at += 4;
  std::uint64_t tags = 0;
  while (true) {
    ByteView tag = source.Peek(at, kTagHeaderSize);
    if (tag.size() < kTagHeaderSize) break;
    const std::uint8_t type = tag[0] & 0x1F;
    const std::uint32_t size = ReadBe32(tag, 0) & 0xFFFFFF;
    if ((type != kAudio && type != kVideo && type != kScript) || (tag[0] & 0xC0) ||
        (ReadBe32(tag, kStreamId - 1) & 0xFFFFFF) != 0) {
      break;
    }
    const std::uint64_t back = at + kTagHeaderSize + size;
    ByteView previous = source.Peek(back, 4);
    if (previous.size() < 4) return std::nullopt;  // cut by the limit
    if (ReadBe32(previous, 0) != kTagHeaderSize + size) break;
    at = back + 4;
    ++tags;
  }
  return RunEnd(source, at, tags);
}

}  // namespace kestrum
