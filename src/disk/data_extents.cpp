#include "disk/data_extents.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrum {

std::vector<SectorRun> DataRuns(const DeviceHandle& device, Sector64 first, Sector64 count) {
  std::vector<SectorRun> runs;
  if (count == 0) return runs;
  const std::vector<SectorRun> whole = {{first, count}};
  struct stat st {};
  if (!device.IsOpen() || ::fstat(device.fd, &st) != 0 || !S_ISREG(st.st_mode)) return whole;
  const std::uint64_t base = device.baseSector;
  if (first > UINT64_MAX / kSectorSize - base || count > UINT64_MAX / kSectorSize - base - first) return whole;
  const std::uint64_t from = (base + first) * kSectorSize;
  const std::uint64_t to = (base + first + count) * kSectorSize;
  std::uint64_t at = from;
  while (at < to) {
    off_t data = ::lseek(device.fd, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // nothing but hole up to the end of the file
      return whole;               // the file system cannot tell
    }
    if (static_cast<std::uint64_t>(data) >= to) break;
    off_t hole = ::lseek(device.fd, data, SEEK_HOLE);
    if (hole < 0) return whole;
    const std::uint64_t runFrom = static_cast<std::uint64_t>(data) / kSectorSize * kSectorSize;
    const std::uint64_t runTo = std::min<std::uint64_t>(
        to, (static_cast<std::uint64_t>(hole) + kSectorSize - 1) / kSectorSize * kSectorSize);
    const Sector64 runFirst = runFrom / kSectorSize - base;
    const Sector64 runEnd = runTo / kSectorSize - base;
    if (!runs.empty() && runs.back().first + runs.back().count >= runFirst) {
      runs.back().count = runEnd - runs.back().first;
    } else {
      runs.push_back({runFirst, runEnd - runFirst});
    }
    at = std::max<std::uint64_t>(runTo, static_cast<std::uint64_t>(hole));
  }
  return runs;
}

BlockContent ReadSectorsSkippingHoles(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 first,
                                      std::uint32_t count) {
  const std::vector<SectorRun> runs = DataRuns(device, first, count);
  if (runs.empty()) return BlockContent::kHole;
  const std::size_t bytes = std::min<std::size_t>(buffer.size(), std::size_t{count} * kSectorSize);
  std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(bytes), std::uint8_t{0});
  for (const SectorRun& run : runs) {
    const std::size_t offset = static_cast<std::size_t>(run.first - first) * kSectorSize;
    // A failed read is retried sector by sector; unreadable sectors stay zero.
    ReadSectorsMapped(device, buffer.subspan(offset), run.first, static_cast<std::uint32_t>(run.count), nullptr);
  }
  return BlockContent::kData;
}

}  // namespace kestrum
