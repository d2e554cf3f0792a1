// A 7z archive starts with a signature header that gives the offset and size
// of the archive's last part, the next header, each protected by a CRC.

#include <algorithm>

#include "base/crc32.h"
#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace seven_zip_layout;

// Next headers are small; a larger one is not read back to check its CRC.
constexpr std::uint64_t kMaxCheckedHeader = 16 << 20;

std::optional<std::uint32_t> CrcOf(ByteSource& source, std::uint64_t at, std::uint64_t size) {
  std::uint32_t crc = 0;
  while (size > 0) {
    ByteView v = source.Peek(at, static_cast<std::size_t>(std::min<std::uint64_t>(size, ByteSource::kMaxPeek)));
    if (v.empty()) return std::nullopt;
    crc = Crc32(v, crc);
    at += v.size();
    size -= v.size();
  }
  return crc;
}

}  // namespace

FileEnd Find7zEnd(ByteSource& source) {
  ByteView header = source.Peek(0, kSignatureHeaderSize);
  if (header.size() < kSignatureHeaderSize) return std::nullopt;
  if (Crc32(header.subspan(kNextHeaderOffset)) != ReadLe32(header, kStartHeaderCrc)) return std::nullopt;
  const std::uint64_t offset = ReadLe64(header, kNextHeaderOffset);
  const std::uint64_t size = ReadLe64(header, kNextHeaderSize);
  const std::uint32_t expected = ReadLe32(header, kNextHeaderCrc);
  if (!source.Fits(kSignatureHeaderSize, offset) || !source.Fits(kSignatureHeaderSize + offset, size)) return std::nullopt;
  const std::uint64_t next = kSignatureHeaderSize + offset;
  if (size > 0 && size <= kMaxCheckedHeader && CrcOf(source, next, size) != expected) return std::nullopt;
  return next + size;
}

}  // namespace kestrum
