// A bzip2 file is one or more streams: "BZh" and a level, then blocks, each
// starting with a 48-bit magic and its CRC, then a 48-bit end-of-stream
// magic and the CRC of all blocks, padded to a byte. The magics are not
// byte-aligned, so the stream is searched bit by bit; the combined CRC
// must agree with the blocks found.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace bzip2_layout;

// The end of the stream at `at`.
std::optional<std::uint64_t> StreamEnd(ByteSource& source, std::uint64_t at) {
  ByteView head = source.Peek(at, kHeaderSize + 6);
  if (head.size() < kHeaderSize + 6 || !HasTag(head, 0, "BZh") || head[3] < '1' || head[3] > '9') {
    return std::nullopt;
  }
  std::uint64_t window = 0;  // the last 64 bits read, the newest lowest
  std::uint64_t bitsRead = 0;
  std::uint32_t combined = 0;
  std::uint64_t blocks = 0;
  // After a magic: the 32 bits of CRC that follow it.
  enum { kSearch, kBlockCrc, kStreamCrc } want = kSearch;
  int crcBits = 0;
  for (std::uint64_t p = at + kHeaderSize;;) {
    ByteView v = source.PeekOnward(p);
    if (v.empty()) return std::nullopt;
    for (std::size_t i = 0; i < v.size(); ++i) {
      for (int b = 7; b >= 0; --b) {
        window = window << 1 | ((v[i] >> b) & 1);
        ++bitsRead;
        if (want != kSearch) {
          if (++crcBits < 32) continue;
          const auto crc = static_cast<std::uint32_t>(window);
          if (want == kStreamCrc) {
            if (crc != combined || blocks == 0) return std::nullopt;
            return p + i + 1;  // the rest of this byte is padding
          }
          combined = (combined << 1 | combined >> 31) ^ crc;
          ++blocks;
          want = kSearch;
          continue;
        }
        if (bitsRead < 48) continue;
        const std::uint64_t magic = window & 0xFFFFFFFFFFFF;
        if (magic == kBlockMagic) want = kBlockCrc, crcBits = 0;
        else if (magic == kEndMagic) want = kStreamCrc, crcBits = 0;
      }
    }
    p += v.size();
  }
}

}  // namespace

FileEnd FindBzip2End(ByteSource& source) {
  std::optional<std::uint64_t> end = StreamEnd(source, 0);
  if (!end) return std::nullopt;
  // Streams one after another (pbzip2, or files joined).
  while (std::optional<std::uint64_t> next = StreamEnd(source, *end)) end = next;
  return end;
}

}  // namespace kestrum
