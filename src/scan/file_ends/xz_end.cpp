// An xz file is a stream header, blocks, an index and a stream footer that
// says how long the index is. Blocks need not give their sizes, so the
// footer is searched for ("YZ" at a 4-byte boundary); it counts only when
// its CRC holds, its flags are the header's, and the index it points back
// to holds its CRC and accounts for every byte between the header and it.

#include "base/crc32.h"
#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace xz_layout;

// A variable-length integer of the index; false when it runs past `end`.
bool Number(ByteView v, std::size_t& at, std::uint64_t& out) {
  out = 0;
  for (int shift = 0; shift < 63 && at < v.size(); shift += 7) {
    const std::uint8_t b = v[at++];
    out |= std::uint64_t{b & 0x7Fu} << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

// Whether the index of `size` bytes at `index` describes blocks that fill
// the bytes from `blocks` up to it.
bool IndexHolds(ByteSource& source, std::uint64_t blocks, std::uint64_t index, std::uint64_t size) {
  if (size > kMaxIndex) return false;
  ByteView v = source.Peek(index, static_cast<std::size_t>(size));
  if (v.size() != size || v[0] != 0 || Crc32(v.first(v.size() - 4)) != ReadLe32(v, v.size() - 4)) return false;
  std::size_t at = 1;
  std::uint64_t records = 0, filled = 0;
  if (!Number(v, at, records)) return false;
  for (std::uint64_t i = 0; i < records; ++i) {
    std::uint64_t unpadded = 0, uncompressed = 0;
    if (!Number(v, at, unpadded) || !Number(v, at, uncompressed) || unpadded == 0) return false;
    filled += (unpadded + 3) / 4 * 4;
  }
  return blocks + filled == index;
}

}  // namespace

FileEnd FindXzEnd(ByteSource& source) {
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize || Crc32(header.subspan(kFlags, 2)) != ReadLe32(header, kHeaderCrc)) {
    return std::nullopt;
  }
  const std::uint16_t flags = ReadLe16(header, kFlags);
  for (std::uint64_t from = kHeaderSize;;) {
    std::optional<std::uint64_t> magic = source.Find(from, "YZ");
    if (!magic) return std::nullopt;
    from = *magic + 1;
    const std::uint64_t end = *magic + 2;
    if (end % 4 != 0 || end < kHeaderSize + kFooterSize) continue;
    const std::uint64_t footer = end - kFooterSize;
    ByteView f = source.Peek(footer, kFooterSize);
    if (f.size() < kFooterSize || ReadLe16(f, kFooterFlags) != flags ||
        Crc32(f.subspan(kBackwardSize, 6)) != ReadLe32(f, kFooterCrc)) {
      continue;
    }
    const std::uint64_t indexSize = (std::uint64_t{ReadLe32(f, kBackwardSize)} + 1) * 4;
    if (indexSize > footer - kHeaderSize) continue;
    if (IndexHolds(source, kHeaderSize, footer - indexSize, indexSize)) return end;
  }
}

}  // namespace kestrum
