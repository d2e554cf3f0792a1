#pragma once
// The file allocation table: loading it whole (one copy standing in for the
// other where sectors cannot be read), following a cluster to the next, and
// keeping walks over chains finite on damaged volumes.

#include <cstdint>
#include <map>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "fs/fat/fat_layout.h"

namespace kestrum {

constexpr std::uint32_t kFat12EndOfChain = 0xFF8;
constexpr std::uint32_t kFat16EndOfChain = 0xFFF8;
constexpr std::uint32_t kFat32EndOfChain = 0x0FFFFFF8;
constexpr std::uint32_t kFat32ClusterMask = 0x0FFFFFFF;  // the top 4 bits are reserved
constexpr std::uint32_t kFreeCluster = 0;  // the FAT entry of a cluster no chain holds

// Reads the first FAT into `fat` (replacing its content). Sectors the first
// copy cannot give are taken from the second; sectors neither gives stay
// zero, which ends every chain through them. Only as much is kept as the
// volume's clusters need and the device holds. False only when stopped.
bool LoadFat(const DeviceHandle& device, const FatGeometry& geometry, std::vector<std::uint8_t>& fat);

// The FAT entry of `cluster`: the next cluster of its chain, 0 (free) when
// the entry lies beyond the loaded table. 12-bit entries share bytes: two of
// them fill three bytes, the even one in the low 12 bits.
std::uint32_t NextCluster(ByteView fat, FatWidth width, std::uint32_t cluster);
bool IsEndOfChain(FatWidth width, std::uint32_t cluster);
// The entry the format marks a cluster with that could not be read or written.
bool IsBadClusterMark(FatWidth width, std::uint32_t entry);
// The same for a FAT of 16-bit (false) or 32-bit (true) entries.
inline std::uint32_t NextCluster(ByteView fat, bool fat32, std::uint32_t cluster) {
  return NextCluster(fat, fat32 ? kFat32 : kFat16, cluster);
}
inline bool IsEndOfChain(bool fat32, std::uint32_t cluster) { return IsEndOfChain(fat32 ? kFat32 : kFat16, cluster); }
// The FAT the reader cached with the volume; empty when it has none.
ByteView CachedFat(const VolumeDescriptor& volume);

// A set of clusters kept as runs, so that a contiguous chain of a million
// clusters costs one entry. Walks use it to stop at a cluster seen before.
class ClusterRuns {
 public:
  bool Contains(std::uint32_t cluster) const;
  // Adds the cluster; false (and nothing changes) when it is already there.
  bool Insert(std::uint32_t cluster);
  std::size_t RunCount() const { return runs_.size(); }

 private:
  std::map<std::uint32_t, std::uint32_t> runs_;  // first cluster → last cluster
};

}  // namespace kestrum
