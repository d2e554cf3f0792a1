// Windows help files give their own size: a compiled HTML help file (CHM)
// in the first section its ITSF header points to, a WinHelp file (HLP) in
// its header, beside the offset of its internal directory, whose B-tree
// header must be there.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindChmEnd(ByteSource& source) {
  using namespace chm_layout;
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize || !HasTag(header, 0, "ITSF") || ReadLe32(header, kHeaderLength) > kHeaderSize) {
    return std::nullopt;
  }
  const std::uint64_t section = ReadLe64(header, kSection0Offset);
  ByteView s0 = source.Peek(section, kSection0Size);
  if (s0.size() < kSection0Size || ReadLe32(s0, 0) != kSection0Magic) return std::nullopt;
  const std::uint64_t end = ReadLe64(s0, kFileSize);
  const std::uint64_t directory = ReadLe64(header, kSection1Offset);
  if (end < section + kSection0Size || directory >= end || !source.Fits(0, end)) return std::nullopt;
  if (!HasTag(source.Peek(directory, 4), 0, "ITSP")) return std::nullopt;
  return end;
}

FileEnd FindHlpEnd(ByteSource& source) {
  using namespace hlp_layout;
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize || ReadLe32(header, 0) != kMagic) return std::nullopt;
  const std::uint64_t directory = ReadLe32(header, kDirectoryStart);
  const std::uint64_t end = ReadLe32(header, kFileSize);
  if (directory < kHeaderSize || directory >= end || !source.Fits(0, end)) return std::nullopt;
  if (ReadLe16(source.Peek(directory + kBtreeMagicAt, 2), 0) != kBtreeMagic) return std::nullopt;
  return end;
}

}  // namespace kestrum
