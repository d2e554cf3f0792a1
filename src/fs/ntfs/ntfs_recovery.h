#pragma once
// How likely a deleted NTFS file's content is still there: its clusters
// against the volume's own allocation map, the $Bitmap file (record 6).

#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"

namespace kestrum {

// The $Bitmap content read through the run list its node keeps (bit k:
// cluster k in use). Empty when the node has no run list or a read fails.
std::vector<std::uint8_t> ReadNtfsBitmap(const DeviceHandle& device, const VolumeDescriptor& volume,
                                         const FileNode& bitmapNode);

// Resident content and empty files: good. Otherwise the clusters its run
// list gives, as far as the size needs: good when all are free, overwritten
// when the first is in use, partial when others are; unknown without a
// bitmap or a run list.
RecoveryChance NtfsDeletedChance(const FileNode& node, ByteView bitmap, std::uint32_t clusterBytes);

}  // namespace kestrum
