// A RAR archive (formats 1.5 to 4.x, the ones whose marker the scan knows)
// is a chain of blocks, each header giving its own size and, for file
// blocks, the size of the packed data after it, up to the end-of-archive
// block.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindRarEnd(ByteSource& source) {
  using namespace rar_layout;
  for (std::uint64_t at = kMarkerSize; at < source.Limit();) {
    ByteView header = source.Peek(at, kFileHighPackSize + 4);
    if (header.size() < kMinBlockHeader) return std::nullopt;
    const std::uint8_t type = header[kBlockType];
    const std::uint16_t flags = ReadLe16(header, kBlockFlags);
    const std::uint16_t size = ReadLe16(header, kBlockHeaderSize);
    if (type < kFirstBlockType || type > kEndBlock || size < kMinBlockHeader) return std::nullopt;
    std::uint64_t data = 0;
    const bool fileBlock = type == kFileBlock || type == kNewSubBlock;
    if (fileBlock || (flags & kFlagLongBlock)) {
      if (size < kBlockDataSize + 4) return std::nullopt;
      data = ReadLe32(header, kBlockDataSize);
      if (fileBlock && (flags & kFlagLargeFile)) {
        if (size < kFileHighPackSize + 4 || header.size() < kFileHighPackSize + 4) return std::nullopt;
        data |= std::uint64_t{ReadLe32(header, kFileHighPackSize)} << 32;
      }
    }
    at += size + data;
    if (type == kEndBlock) return source.Fits(0, at) ? FileEnd(at) : std::nullopt;
  }
  return std::nullopt;
}

}  // namespace kestrum
