// A tar archive is 512-byte member headers, each followed by its data in
// whole blocks, up to two zero blocks. Writers pad the archive with zeros
// to a whole record (10 KiB); the padding belongs to the file where it is
// there.

#include <algorithm>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace tar_layout;

bool IsZero(ByteView v) {
  return std::all_of(v.begin(), v.end(), [](std::uint8_t b) { return b == 0; });
}

// An octal field (spaces and NULs around the digits), or the base-256 form
// of GNU tar for large values.
std::optional<std::uint64_t> Number(ByteView field) {
  if (!field.empty() && (field[0] & 0x80)) {
    std::uint64_t v = field[0] & 0x7F;
    for (std::size_t i = 1; i < field.size(); ++i) {
      if (v >> 55) return std::nullopt;
      v = v << 8 | field[i];
    }
    return v;
  }
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  std::uint64_t v = 0;
  const std::size_t digits = i;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) v = v * 8 + (field[i] - '0');
  if (i == digits) return std::nullopt;
  for (; i < field.size(); ++i) {
    if (field[i] != ' ' && field[i] != 0) return std::nullopt;
  }
  return v;
}

bool ChecksumHolds(ByteView header) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    sum += (i >= kChecksum && i < kChecksum + kChecksumSize) ? ' ' : header[i];
  }
  return Number(header.subspan(kChecksum, kChecksumSize)) == sum;
}

bool HasNoData(std::uint8_t type) { return type >= '1' && type <= '6'; }

}  // namespace

FileEnd FindTarEnd(ByteSource& source) {
  std::uint64_t at = 0;
  for (std::uint64_t members = 0;; ++members) {
    ByteView header = source.Peek(at, kBlockSize);
    if (header.size() < kBlockSize) return std::nullopt;
    if (IsZero(header)) {
      ByteView second = source.Peek(at + kBlockSize, kBlockSize);
      if (members == 0 || second.size() < kBlockSize || !IsZero(second)) return std::nullopt;
      const std::uint64_t end = at + 2 * kBlockSize;
      const std::uint64_t record = (end + kRecordSize - 1) / kRecordSize * kRecordSize;
      ByteView padding = source.Peek(end, static_cast<std::size_t>(record - end));
      return padding.size() == record - end && IsZero(padding) ? record : end;
    }
    if (!ChecksumHolds(header)) return std::nullopt;
    const std::uint8_t type = header[kTypeFlag];
    std::optional<std::uint64_t> size = Number(header.subspan(kSize, kSizeSize));
    if (!size) return std::nullopt;
    const std::uint64_t data = HasNoData(type) ? 0 : (*size + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (!source.Fits(at + kBlockSize, data)) return std::nullopt;
    at += kBlockSize + data;
  }
}

}  // namespace kestrum
