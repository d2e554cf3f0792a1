#include "disk/data_extents.h"

#include <algorithm>

#include "platform/files.h"

namespace kestrum {

namespace {

bool IsRegularFile(const DeviceHandle& device) {
  return device.IsOpen() && platform::IsRegularFile(device.fd);
}

// The runs as below, on a device known to be a regular file.
std::vector<SectorRun> FileDataRuns(const DeviceHandle& device, Sector64 first, Sector64 count) {
  const std::vector<SectorRun> whole = {{first, count}};
  const std::uint64_t base = device.baseSector;
  if (first > UINT64_MAX / kSectorSize - base || count > UINT64_MAX / kSectorSize - base - first) return whole;
  const std::uint64_t from = (base + first) * kSectorSize;
  const std::uint64_t to = (base + first + count) * kSectorSize;
  std::vector<SectorRun> runs;
  std::uint64_t at = from;
  while (at < to) {
    std::uint64_t data = 0;
    std::uint64_t hole = 0;
    const platform::DataQuery found = platform::NextDataRange(device.fd, at, data, hole);
    if (found == platform::DataQuery::kUnknown) return whole;  // the file system cannot tell
    if (found == platform::DataQuery::kNoMoreData || data >= to) break;  // nothing but hole up to the end
    const std::uint64_t runFrom = data / kSectorSize * kSectorSize;
    const std::uint64_t runTo = std::min<std::uint64_t>(to, (hole + kSectorSize - 1) / kSectorSize * kSectorSize);
    const Sector64 runFirst = runFrom / kSectorSize - base;
    const Sector64 runEnd = runTo / kSectorSize - base;
    if (!runs.empty() && runs.back().first + runs.back().count >= runFirst) {
      runs.back().count = runEnd - runs.back().first;
    } else {
      runs.push_back({runFirst, runEnd - runFirst});
    }
    at = std::max<std::uint64_t>(runTo, hole);
  }
  return runs;
}

}  // namespace

std::vector<SectorRun> DataRuns(const DeviceHandle& device, Sector64 first, Sector64 count) {
  if (count == 0) return {};
  if (!IsRegularFile(device)) return {{first, count}};
  return FileDataRuns(device, first, count);
}

HoleSkippingReader::HoleSkippingReader(const DeviceHandle& device) : device_(device), regular_(IsRegularFile(device)) {}

bool HoleSkippingReader::IsHole(Sector64 first, std::uint32_t count) {
  if (count == 0 || (first >= holeFirst_ && first + count <= holeEnd_)) return true;
  if (InKnownData(first, count)) return false;
  if (!regular_ || first > UINT64_MAX / kSectorSize / 2 - device_.baseSector) return false;
  // Where the hole at `first` ends: asked once, so that the blocks after it
  // inside the same hole need not ask again.
  std::uint64_t data = 0;
  std::uint64_t hole = 0;
  const platform::DataQuery found =
      platform::NextDataRange(device_.fd, (device_.baseSector + first) * kSectorSize, data, hole);
  if (found == platform::DataQuery::kUnknown) {
    regular_ = false;  // the file system cannot tell: all data
    return false;
  }
  holeFirst_ = first;
  holeEnd_ = found == platform::DataQuery::kNoMoreData ? UINT64_MAX : data / kSectorSize - device_.baseSector;
  if (found == platform::DataQuery::kData) {
    // Rounded outwards to whole sectors, as FileDataRuns takes a run.
    dataFirst_ = data / kSectorSize - device_.baseSector;
    dataEnd_ = (hole + kSectorSize - 1) / kSectorSize - device_.baseSector;
  }
  return first + count <= holeEnd_;
}

BlockContent HoleSkippingReader::Read(std::span<std::uint8_t> buffer, Sector64 first, std::uint32_t count) {
  if (IsHole(first, count)) return BlockContent::kHole;
  std::vector<SectorRun> runs = {{first, count}};
  if (regular_ && !InKnownData(first, count)) {
    runs = FileDataRuns(device_, first, count);
    if (runs.empty()) return BlockContent::kHole;
  }
  const std::size_t bytes = std::min<std::size_t>(buffer.size(), std::size_t{count} * kSectorSize);
  // Only what no run covers is zeroed here: a block that is one run (the
  // common case) is written once, by its read.
  std::size_t done = 0;
  for (const SectorRun& run : runs) {
    const std::size_t offset = std::min(bytes, static_cast<std::size_t>(run.first - first) * kSectorSize);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(done), buffer.begin() + static_cast<std::ptrdiff_t>(offset),
              std::uint8_t{0});
    // A failed read is retried sector by sector; unreadable sectors stay zero.
    ReadSectorsMapped(device_, buffer.subspan(offset), run.first, static_cast<std::uint32_t>(run.count), nullptr);
    done = std::max(done, std::min(bytes, offset + static_cast<std::size_t>(run.count) * kSectorSize));
  }
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(done), buffer.begin() + static_cast<std::ptrdiff_t>(bytes),
            std::uint8_t{0});
  return BlockContent::kData;
}

}  // namespace kestrum
