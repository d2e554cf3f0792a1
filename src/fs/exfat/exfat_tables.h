#pragma once
// The exFAT allocation tables: loading the FAT and the allocation bitmap into
// the volume's reader state, and the cluster lists of directories and files
// that the reader and the export follow.

#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"

namespace kestrum {

// exFAT directories never exceed 256 MiB; a longer chain or a larger valid
// data length is damage. The root has no length of its own and is read up to
// this, as far as its chain goes.
constexpr std::uint64_t kMaxExfatDirectoryBytes = std::uint64_t{256} << 20;

// The first sector a device cannot give: the end of a window, else the size
// of the disk or file; 0 when it cannot be told.
Sector64 DeviceEndSector(const DeviceHandle& device);

// Reads the FAT (at most as long as the cluster count needs, and never past
// the device's end) into readerState.fat; unreadable sectors read as zeros.
// False when there is no FAT to read or it did not read in one piece.
bool LoadExfatFat(const DeviceHandle& device, VolumeDescriptor& volume);

// The allocation-bitmap entry among the 16 entries of the root directory's
// first sector: its first cluster and its length in bytes.
bool FindBitmapEntry(ByteView rootSector, std::uint32_t& firstCluster, std::uint64_t& length);

// Reads the bitmap the root directory names, contiguously from its first
// cluster, into readerState.bitmap (bit k stands for cluster k + 2). False
// when the root names no bitmap, or names one outside the cluster heap.
bool LoadAllocationBitmap(const DeviceHandle& device, VolumeDescriptor& volume);

// Whether the cached bitmap marks the cluster as allocated.
bool BitmapMarksCluster(const VolumeDescriptor& volume, std::uint32_t cluster);

// The cached FAT's entry for a cluster; 0 where the FAT is missing or short.
std::uint32_t ExfatFatEntry(const VolumeDescriptor& volume, std::uint32_t cluster);

// The clusters of a directory, enough for byteLimit bytes (at most
// kMaxExfatDirectoryBytes): contiguous for a no-FAT-chain directory, else
// its FAT chain, which ends at an end mark, a free entry, a cluster outside
// the heap or a cluster met before. Without a cached FAT only the first
// cluster is known.
std::vector<std::uint32_t> DirectoryClusters(const VolumeDescriptor& volume, std::uint32_t firstCluster,
                                             std::uint64_t byteLimit, bool noFatChain);

// The clusters of a file of byteLimit bytes: contiguous for a no-FAT-chain
// file; otherwise its FAT chain, where a free entry is read as "the file goes
// on". For a live file that is the next cluster. A deleted file's chain was
// cleared when it was deleted, and clusters live files hold cannot be its
// data: it goes on in the next cluster the allocation bitmap marks free. The
// list never holds more clusters than the size needs, never leaves the heap
// and never comes back to a cluster it holds.
std::vector<std::uint32_t> ContentClusters(const VolumeDescriptor& volume, std::uint32_t firstCluster,
                                           std::uint64_t byteLimit, bool noFatChain, bool deleted = false);

// How likely a deleted file's content is still there, judged by the cached
// allocation bitmap over the clusters ContentClusters gives: good when all
// are free, overwritten when the first is in use again, partial when others
// are or the heap ends first; unknown without a bitmap. Empty files: good.
RecoveryChance DeletedContentChance(const VolumeDescriptor& volume, const FileNode& node);

}  // namespace kestrum
