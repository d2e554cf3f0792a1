// Windows metafiles give their own size: a WMF in its header (in 16-bit
// words, after the 22-byte placeable header when there is one), an EMF in
// its header record. Each ends with an end-of-file record, which must be
// there.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindWmfEnd(ByteSource& source) {
  using namespace wmf_layout;
  const std::uint64_t base = ReadLe32(source.Peek(0, 4), 0) == kPlaceableKey ? kPlaceableSize : 0;
  ByteView header = source.Peek(base, kHeaderSize);
  if (header.size() < kHeaderSize || ReadLe16(header, kHeaderWords) != kHeaderSize / 2) return std::nullopt;
  const std::uint64_t end = base + std::uint64_t{ReadLe32(header, kSizeWords)} * 2;
  if (end < base + kHeaderSize + kEofRecordSize || !source.Fits(0, end)) return std::nullopt;
  ByteView eof = source.Peek(end - kEofRecordSize, kEofRecordSize);
  if (eof.size() < kEofRecordSize || ReadLe32(eof, 0) != kEofRecordSize / 2 || ReadLe16(eof, 4) != 0) {
    return std::nullopt;
  }
  return end;
}

FileEnd FindEmfEnd(ByteSource& source) {
  using namespace emf_layout;
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize || ReadLe32(header, kType) != kHeaderRecord) return std::nullopt;
  const std::uint64_t end = ReadLe32(header, kFileBytes);
  if (end < kHeaderSize + kEofRecordSize || end % 4 != 0 || !source.Fits(0, end)) return std::nullopt;
  // The end-of-file record names its own size in its last word.
  const std::uint32_t last = ReadLe32(source.Peek(end - 4, 4), 0);
  if (last < kEofRecordSize || last > end - kHeaderSize) return std::nullopt;
  ByteView eof = source.Peek(end - last, 8);
  if (eof.size() < 8 || ReadLe32(eof, kType) != kEofRecord || ReadLe32(eof, kRecordSize) != last) return std::nullopt;
  return end;
}

}  // namespace kestrum
