#include "scan/file_ends/byte_source.h"

#include <algorithm>
#include <cstring>

namespace kestrum {
namespace {

// Small reads of headers are rounded up to this much, so that walking a
// chain of small structures costs one disk read per window, not per field.
constexpr std::size_t kReadAhead = 64 * 1024;

}  // namespace

ByteSource::ByteSource(SectorReadFn read, Sector64 firstSector, std::uint64_t limit)
    : read_(std::move(read)), firstSector_(firstSector), limit_(limit) {}

bool ByteSource::Load(std::uint64_t offset, std::size_t want) {
  const std::uint64_t start = offset / kSectorSize * kSectorSize;
  const std::uint64_t end = std::min(limit_, offset + std::max(want, kReadAhead));
  const std::uint64_t sectors = (end - start + kSectorSize - 1) / kSectorSize;
  window_.resize(sectors * kSectorSize);
  windowStart_ = start;
  windowBytes_ = 0;
  if (!read_(firstSector_ + start / kSectorSize, static_cast<std::uint32_t>(sectors), window_)) return false;
  windowBytes_ = static_cast<std::size_t>(end - start);
  readEnd_ = std::max(readEnd_, end);
  return true;
}

ByteView ByteSource::Peek(std::uint64_t offset, std::size_t want) {
  if (want > 0 && (offset >= limit_ || want > limit_ - offset)) hitLimit_ = true;
  if (offset >= limit_) return {};
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(std::min(want, kMaxPeek), limit_ - offset));
  const bool inside = offset >= windowStart_ && offset + n <= windowStart_ + windowBytes_;
  if (!inside && !Load(offset, n)) return {};
  return ByteView(window_.data() + (offset - windowStart_), n);
}

ByteView ByteSource::PeekOnward(std::uint64_t offset) {
  if (offset >= windowStart_ && offset < windowStart_ + windowBytes_) {
    return ByteView(window_.data() + (offset - windowStart_), windowStart_ + windowBytes_ - offset);
  }
  // A look ahead of whatever is there: only reaching the limit itself counts.
  const bool hit = hitLimit_ || offset >= limit_;
  ByteView v = Peek(offset, kMaxPeek);
  hitLimit_ = hit;
  return v;
}

std::optional<std::uint64_t> ByteSource::Find(std::uint64_t from, std::string_view pattern) {
  if (pattern.empty()) return from;
  const auto lead = static_cast<unsigned char>(pattern[0]);
  for (std::uint64_t at = from; at < limit_;) {
    ByteView v = PeekOnward(at);
    if (v.size() < pattern.size()) v = Peek(at, pattern.size());
    if (v.size() < pattern.size()) return std::nullopt;
    const std::size_t last = v.size() - pattern.size();  // the last start that fits the view
    for (std::size_t i = 0; i <= last;) {
      const void* hit = std::memchr(v.data() + i, lead, last + 1 - i);
      if (hit == nullptr) break;
      i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - v.data());
      if (std::memcmp(v.data() + i, pattern.data(), pattern.size()) == 0) return at + i;
      ++i;
    }
    // The next view starts just past the last start tried in this one.
    at += last + 1;
  }
  return std::nullopt;
}

}  // namespace kestrum
