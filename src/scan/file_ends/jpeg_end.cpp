// A JPEG ends at the EOI marker of its own marker sequence. Segments carry
// their length, so an EXIF thumbnail (inside APP1) is stepped over whole;
// only entropy-coded scan data has to be read byte by byte, up to the first
// marker that is neither byte stuffing nor a restart.

#include <cstring>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace jpeg_layout;

// Codes 0x02–0xBF are reserved and never written; 0x00 is only byte
// stuffing inside scan data. Meeting either outside a scan means the bytes
// are not this file's.
bool IsMarkerCode(std::uint8_t code) { return code == kTem || code >= 0xC0; }

bool IsStandalone(std::uint8_t code) { return code == kTem || (code >= kRst0 && code <= kRst7); }

// A frame header (SOF0–SOF15, less DHT, JPG and DAC) must come before a scan.
bool IsFrameHeader(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// From the first byte of entropy-coded data: the offset of the marker that
// ends it, or nothing when the limit comes first.
std::optional<std::uint64_t> SkipScanData(ByteSource& source, std::uint64_t at) {
  while (true) {
    ByteView v = source.PeekOnward(at);
    if (v.empty()) return std::nullopt;
    const void* hit = std::memchr(v.data(), kMarkerPrefix, v.size());
    if (hit == nullptr) {
      at += v.size();
      continue;
    }
    at += static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - v.data());
    std::uint64_t next = at + 1;
    while (source.Has(next, 1) && source.Byte(next) == kMarkerPrefix) ++next;  // fill bytes
    if (!source.Has(next, 1)) return std::nullopt;
    const std::uint8_t code = source.Byte(next);
    if (code != 0x00 && !(code >= kRst0 && code <= kRst7)) return next - 1;
    at = next + 1;
  }
}

}  // namespace

FileEnd FindJpegEnd(ByteSource& source) {
  ByteView head = source.Peek(0, 2);
  if (head.size() < 2 || head[0] != kMarkerPrefix || head[1] != kSoi) return std::nullopt;
  bool sawFrame = false;
  bool sawScan = false;
  std::uint64_t at = 2;
  while (true) {
    if (source.Byte(at) != kMarkerPrefix || !source.Has(at, 2)) return std::nullopt;
    ++at;
    while (source.Has(at, 1) && source.Byte(at) == kMarkerPrefix) ++at;  // fill bytes
    if (!source.Has(at, 1)) return std::nullopt;
    const std::uint8_t code = source.Byte(at++);
    if (code == kEoi) return sawScan ? FileEnd(at) : std::nullopt;
    if (!IsMarkerCode(code) || code == kSoi) return std::nullopt;
    if (IsStandalone(code)) continue;
    ByteView field = source.Peek(at, 2);
    const std::uint16_t length = ReadBe16(field, kSegmentLength);
    if (field.size() < 2 || length < 2) return std::nullopt;
    if (IsFrameHeader(code)) sawFrame = true;
    at += length;
    if (code == kSos) {
      if (!sawFrame) return std::nullopt;
      sawScan = true;
      std::optional<std::uint64_t> marker = SkipScanData(source, at);
      if (!marker) return std::nullopt;
      at = *marker;
    }
  }
}

}  // namespace kestrum
