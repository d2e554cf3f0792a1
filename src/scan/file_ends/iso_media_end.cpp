// MP4, 3GP, M4A, M4V and MOV files, HEIF and AVIF pictures and CR3 raws
// are a sequence of top-level boxes, each giving its own size. The file
// ends where the next header is no top-level box; it must have held a
// "moov" box (the index without which the media cannot be played) or, for
// a picture, a "meta" box (its item locations), else the walk has left the
// file early.

#include <algorithm>
#include <array>
#include <string_view>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace iso_media_layout;

constexpr std::array<std::string_view, 17> kTopLevelBoxes = {
    "ftyp", "styp", "moov", "mdat", "moof", "mfra", "free", "skip", "wide",
    "uuid", "meta", "pdin", "sidx", "ssix", "prft", "emsg", "pnot"};

bool IsTopLevelBox(ByteView header) {
  std::string_view type(reinterpret_cast<const char*>(header.data()) + kBoxType, 4);
  return std::find(kTopLevelBoxes.begin(), kTopLevelBoxes.end(), type) != kTopLevelBoxes.end();
}

}  // namespace

FileEnd FindIsoMediaEnd(ByteSource& source) {
  bool sawIndex = false;
  std::uint64_t at = 0;
  while (true) {
    ByteView header = source.Peek(at, kLargeBoxHeaderSize);
    if (header.size() < kBoxHeaderSize || !IsTopLevelBox(header)) break;
    std::uint64_t size = ReadBe32(header, kBoxSize);
    std::uint64_t headerSize = kBoxHeaderSize;
    if (size == 1) {
      size = ReadBe64(header, kBoxLargeSize);
      headerSize = kLargeBoxHeaderSize;
    }
    // Size 0 runs to the end of the file, which is the thing not known here.
    if (size < headerSize || !source.Fits(at, size)) return std::nullopt;
    if (HasTag(header, kBoxType, "moov") || HasTag(header, kBoxType, "meta")) sawIndex = true;
    at += size;
  }
  if (!sawIndex) return std::nullopt;
  return at;
}

}  // namespace kestrum
