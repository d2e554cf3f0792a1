// A TIFF, and the camera raws built on it (CR2, NEF, ARW, DNG, ORF, RW2,
// PEF), is a header and a web of image file directories whose entries
// point at values, strips and tiles anywhere in the file. It ends with the
// furthest of them: every directory reachable from the header (the chain,
// SubIFDs, EXIF, GPS and interoperability directories) is walked, and every
// value, strip, tile and embedded JPEG it names is counted.

#include <algorithm>
#include <set>
#include <vector>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace tiff_layout;

class Tiff {
 public:
  Tiff(ByteSource& source, bool big) : source_(source), big_(big) {}

  std::optional<std::uint32_t> U16(std::uint64_t at) {
    ByteView v = source_.Peek(at, 2);
    if (v.size() < 2) return std::nullopt;
    return big_ ? ReadBe16(v, 0) : ReadLe16(v, 0);
  }
  std::optional<std::uint32_t> U32(std::uint64_t at) {
    ByteView v = source_.Peek(at, 4);
    if (v.size() < 4) return std::nullopt;
    return big_ ? ReadBe32(v, 0) : ReadLe32(v, 0);
  }

  // The values of an entry of SHORT, LONG or IFD type.
  bool Values(ByteView entry, std::vector<std::uint64_t>& out) {
    const std::uint16_t type = Field16(entry, kEntryType);
    const std::uint32_t count = Field32(entry, kEntryCount);
    const std::uint32_t size = type == kTypeShort ? 2 : (type == kTypeLong || type == kTypeIfd) ? 4 : 0;
    if (size == 0 || count > kMaxValues) return false;
    const std::uint64_t bytes = std::uint64_t{count} * size;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::optional<std::uint32_t> v;
      if (bytes <= 4) {
        v = size == 2 ? Field16(entry, kEntryValue + 2 * i) : Field32(entry, kEntryValue);
      } else {
        const std::uint64_t at = std::uint64_t{Field32(entry, kEntryValue)} + std::uint64_t{i} * size;
        v = size == 2 ? U16(at) : U32(at);
      }
      if (!v) return false;
      out.push_back(*v);
    }
    return true;
  }

  std::uint16_t Field16(ByteView v, std::size_t at) const { return big_ ? ReadBe16(v, at) : ReadLe16(v, at); }
  std::uint32_t Field32(ByteView v, std::size_t at) const { return big_ ? ReadBe32(v, at) : ReadLe32(v, at); }

 private:
  ByteSource& source_;
  bool big_;
};

std::uint32_t TypeSize(std::uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 0;
  }
}

bool IsDirectoryPointer(std::uint16_t tag) {
  return tag == kTagSubIfds || tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd;
}

}  // namespace

FileEnd FindTiffEnd(ByteSource& source) {
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize) return std::nullopt;
  const bool big = header[0] == 'M';
  if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) return std::nullopt;
  Tiff tiff(source, big);
  const std::uint16_t magic = tiff.Field16(header, kMagic);
  if (magic != kMagicTiff && magic != kMagicOrf && magic != kMagicOrfS && magic != kMagicRw2) return std::nullopt;

  std::uint64_t end = kHeaderSize;
  auto reach = [&](std::uint64_t at, std::uint64_t bytes) {
    if (!source.Fits(at, bytes)) return false;
    end = std::max(end, at + bytes);
    return true;
  };
  std::vector<std::uint64_t> pending = {tiff.Field32(header, kFirstIfd)};
  std::set<std::uint64_t> seen;
  while (!pending.empty()) {
    const std::uint64_t ifd = pending.back();
    pending.pop_back();
    if (ifd == 0 || !seen.insert(ifd).second) continue;
    if (seen.size() > kMaxDirectories || ifd < kHeaderSize) return std::nullopt;
    std::optional<std::uint32_t> count = tiff.U16(ifd);
    if (!count || *count == 0 || *count > kMaxEntries) return std::nullopt;
    const std::uint64_t entries = ifd + kCountSize;
    if (!reach(ifd, kCountSize + std::uint64_t{*count} * kEntrySize + kNextIfdSize)) return std::nullopt;
    std::vector<std::uint64_t> strips, stripBytes, tiles, tileBytes;
    std::uint64_t jpeg = 0, jpegBytes = 0;
    for (std::uint32_t i = 0; i < *count; ++i) {
      ByteView view = source.Peek(entries + std::uint64_t{i} * kEntrySize, kEntrySize);
      if (view.size() < kEntrySize) return std::nullopt;
      const std::vector<std::uint8_t> entry(view.begin(), view.end());  // a view lasts one call only
      const std::uint16_t tag = tiff.Field16(entry, kEntryTag);
      const std::uint32_t size = TypeSize(tiff.Field16(entry, kEntryType));
      if (size == 0) return std::nullopt;
      const std::uint64_t bytes = std::uint64_t{tiff.Field32(entry, kEntryCount)} * size;
      if (bytes > 4 && !reach(tiff.Field32(entry, kEntryValue), bytes)) return std::nullopt;
      std::vector<std::uint64_t>* values = nullptr;
      switch (tag) {
        case kTagStripOffsets: values = &strips; break;
        case kTagStripByteCounts: values = &stripBytes; break;
        case kTagTileOffsets: values = &tiles; break;
        case kTagTileByteCounts: values = &tileBytes; break;
        case kTagJpegOffset: jpeg = tiff.Field32(entry, kEntryValue); break;
        case kTagJpegLength: jpegBytes = tiff.Field32(entry, kEntryValue); break;
        default:
          if (IsDirectoryPointer(tag) && !tiff.Values(entry, pending)) return std::nullopt;
          break;
      }
      if (values != nullptr && !tiff.Values(entry, *values)) return std::nullopt;
    }
    for (auto [offsets, counts] : {std::pair{&strips, &stripBytes}, std::pair{&tiles, &tileBytes}}) {
      if (offsets->size() != counts->size()) return std::nullopt;
      for (std::size_t i = 0; i < offsets->size(); ++i) {
        if (!reach((*offsets)[i], (*counts)[i])) return std::nullopt;
      }
    }
    if (jpeg != 0 && !reach(jpeg, jpegBytes)) return std::nullopt;
    std::optional<std::uint32_t> next = tiff.U32(entries + std::uint64_t{*count} * kEntrySize);
    if (!next) return std::nullopt;
    pending.push_back(*next);
  }
  return end;
}

}  // namespace kestrum
