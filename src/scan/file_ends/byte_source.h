#pragma once
// The bytes of one file found by content, as its end finder sees them: read
// from the disk on demand through a small window, and never beyond the
// length the scan gave the file.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/byte_order.h"
#include "disk/sector.h"

namespace kestrum {

// Reads `count` whole sectors from absolute `sector` into `out` (count × 512
// bytes); false when they cannot be read.
using SectorReadFn = std::function<bool(Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out)>;

class ByteSource {
 public:
  // The file begins at `firstSector`; no byte at or past `limit` is read.
  ByteSource(SectorReadFn read, Sector64 firstSector, std::uint64_t limit);

  std::uint64_t Limit() const { return limit_; }

  // Up to `want` bytes (at most kMaxPeek) from `offset`: fewer where the
  // limit comes first, none at or past the limit or when the disk fails.
  // The view lasts until the next call.
  ByteView Peek(std::uint64_t offset, std::size_t want);
  // The bytes from `offset` that are at hand without another disk read
  // (loading a large window when there are none): for scanning forward.
  ByteView PeekOnward(std::uint64_t offset);
  // Whether `count` bytes from `offset` lie inside the limit (a structure
  // that names bytes past it counts as running into it).
  bool Fits(std::uint64_t offset, std::uint64_t count) {
    if (offset <= limit_ && count <= limit_ - offset) return true;
    hitLimit_ = true;
    return false;
  }
  // Whether all `count` bytes from `offset` can be had.
  bool Has(std::uint64_t offset, std::size_t count) { return Peek(offset, count).size() == count; }
  std::uint8_t Byte(std::uint64_t offset) {
    ByteView v = Peek(offset, 1);
    return v.empty() ? 0 : v[0];
  }

  // The offset of the first `pattern` that begins at or after `from` and
  // ends within the limit.
  std::optional<std::uint64_t> Find(std::uint64_t from, std::string_view pattern);

  // The offset just past the highest byte read from the disk so far.
  std::uint64_t ReadEnd() const { return readEnd_; }
  // Whether the walk asked for bytes at or past the limit: a structure that
  // broke there may go on beyond it.
  bool HitLimit() const { return hitLimit_; }

  static constexpr std::size_t kMaxPeek = 1 << 20;

 private:
  bool Load(std::uint64_t offset, std::size_t want);

  SectorReadFn read_;
  Sector64 firstSector_;
  std::uint64_t limit_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowStart_ = 0;  // file offset of window_[0], a sector boundary
  std::size_t windowBytes_ = 0;    // valid bytes in window_
  std::uint64_t readEnd_ = 0;
  bool hitLimit_ = false;
};

}  // namespace kestrum
