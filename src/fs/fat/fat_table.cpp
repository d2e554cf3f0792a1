#include "fs/fat/fat_table.h"

#include <algorithm>

#include "run/worker_state.h"

namespace kestrum {

namespace {

// Sectors of the device from `sector` on, or UINT64_MAX when its size is unknown.
std::uint64_t SectorsFrom(const DeviceHandle& device, Sector64 sector) {
  std::uint64_t end = 0;
  if (device.windowSectors != 0) {
    end = device.windowSectors;
  } else {
    std::uint64_t bytes = QueryDeviceBytes(device.fd);
    if (bytes == 0) return UINT64_MAX;
    end = bytes / kSectorSize;
  }
  return end > sector ? end - sector : 0;
}

// Sectors of one FAT copy worth loading: what N clusters need, within the device.
std::uint32_t FatSectorsToLoad(const DeviceHandle& device, const FatGeometry& g) {
  const std::uint64_t entryBits = g.width;
  const std::uint64_t neededBytes = ((std::uint64_t{g.clusterCount} + kFirstDataCluster) * entryBits + 7) / 8;
  std::uint64_t needed = (neededBytes + kSectorSize - 1) / kSectorSize;
  std::uint64_t sectors = std::min<std::uint64_t>(g.fatSectors, needed);
  sectors = std::min(sectors, SectorsFrom(device, g.firstFatSector));
  return static_cast<std::uint32_t>(sectors);
}

}  // namespace

bool LoadFat(const DeviceHandle& device, const FatGeometry& g, std::vector<std::uint8_t>& fat) {
  const std::uint32_t sectors = FatSectorsToLoad(device, g);
  fat.assign(std::size_t{sectors} * kSectorSize, 0);
  if (sectors == 0) return !AbortRequested();
  const Sector64 first = g.firstFatSector;
  if (ReadSectors(device, fat, first, sectors)) return true;
  if (g.fatCount < 2) {
    ReadSectorsMapped(device, fat, first, sectors, nullptr);
    return !AbortRequested();
  }
  const Sector64 second = first + g.fatSectors;
  if (ReadSectors(device, fat, second, sectors)) return true;
  std::span<std::uint8_t> all(fat);
  for (std::uint32_t i = 0; i < sectors; ++i) {
    if (AbortRequested()) return false;
    auto one = all.subspan(std::size_t{i} * kSectorSize, kSectorSize);
    if (!ReadSectors(device, one, second + i, 1) && !ReadSectors(device, one, first + i, 1)) {
      std::fill(one.begin(), one.end(), std::uint8_t{0});
    }
  }
  return !AbortRequested();
}

std::uint32_t NextCluster(ByteView fat, FatWidth width, std::uint32_t cluster) {
  switch (width) {
    case kFat32: return ReadLe32(fat, std::size_t{cluster} * 4) & kFat32ClusterMask;
    case kFat16: return ReadLe16(fat, std::size_t{cluster} * 2);
    case kFat12: {
      const std::size_t at = std::size_t{cluster} + cluster / 2;
      // The last entry of an odd-sized table may end in the table's last byte.
      std::uint32_t pair = at + 1 < fat.size() ? ReadLe16(fat, at) : ReadLe8(fat, at);
      return (cluster & 1) ? pair >> 4 : pair & 0xFFF;
    }
  }
  return 0;
}

ByteView CachedFat(const VolumeDescriptor& volume) {
  const auto& fat = volume.readerState.fat;
  return fat ? ByteView(*fat) : ByteView();
}

bool IsEndOfChain(FatWidth width, std::uint32_t cluster) {
  switch (width) {
    case kFat32: return (cluster & kFat32ClusterMask) >= kFat32EndOfChain;
    case kFat16: return cluster >= kFat16EndOfChain;
    case kFat12: return cluster >= kFat12EndOfChain;
  }
  return true;
}

bool IsBadClusterMark(FatWidth width, std::uint32_t entry) {
  switch (width) {
    case kFat32: return (entry & kFat32ClusterMask) == kFat32EndOfChain - 1;
    case kFat16: return entry == kFat16EndOfChain - 1;
    case kFat12: return entry == kFat12EndOfChain - 1;
  }
  return false;
}

bool ClusterRuns::Contains(std::uint32_t cluster) const {
  auto after = runs_.upper_bound(cluster);
  if (after == runs_.begin()) return false;
  return std::prev(after)->second >= cluster;
}

bool ClusterRuns::Insert(std::uint32_t cluster) {
  auto after = runs_.upper_bound(cluster);
  if (after != runs_.begin()) {
    auto before = std::prev(after);
    if (before->second >= cluster) return false;
    if (before->second + 1 == cluster) {
      before->second = cluster;
      if (after != runs_.end() && after->first == cluster + 1) {
        before->second = after->second;
        runs_.erase(after);
      }
      return true;
    }
  }
  if (after != runs_.end() && after->first == cluster + 1) {
    std::uint32_t last = after->second;
    runs_.erase(after);
    runs_.emplace(cluster, last);
    return true;
  }
  runs_.emplace(cluster, cluster);
  return true;
}

}  // namespace kestrum
