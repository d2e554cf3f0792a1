#pragma once
// The exFAT reader: a volume's tree straight from the device, deleted entry
// sets included, and the exFAT checks the deep scan uses on boot sectors it
// found.

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "run/worker_state.h"
#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// Folders nested deeper than this are listed but not entered: no real tree
// comes close, and a damaged one must not run the reader out of stack.
constexpr std::uint32_t kMaxExfatDirectoryDepth = 128;

// What the reading of one directory tree carries from level to level.
struct ExfatDirectoryWalk {
  // First clusters of the directories read: a directory met a second time
  // (a loop, or two entries naming one directory) is not read again.
  std::unordered_set<std::uint32_t> visited;
  // Every cluster read as directory content, in reading order.
  std::vector<std::uint32_t> clusters;
  // Nodes appended so far, posted as kind-1 status messages.
  ParseStatus counts;
  std::uint32_t depth = 0;
  // Directory clusters with a sector that would not read.
  std::uint32_t unreadableClusters = 0;
};

// The reader for FsKind 4: opens the volume's disk, caches the FAT and the
// allocation bitmap in readerState, reads the root directory and everything
// below it, then appends LostFile and links the tree, also after a stop.
// False only when the disk cannot be opened.
bool ReadExfatVolume(VolumeDescriptor& volume);

// Reads one directory (piece by piece, each entry set as it completes)
// under node `parent`, and every folder below it, depth first, each node
// appended before the folders after it are read; under a deleted folder
// every node is deleted, as the folder's content is. byteLimit is the
// directory's valid data length; noFatChain its stream flag, which makes its
// clusters contiguous. Pass one walk to several calls to share the visited
// set (and to see which clusters were read); without one a fresh walk is
// used. False on a stop, for a directory already visited or too deep, and
// when the first cluster lies outside the heap.
bool ReadExfatDirectory(const DeviceHandle& device, VolumeDescriptor& volume, std::uint32_t firstCluster,
                        std::uint64_t byteLimit, std::uint32_t parent, bool noFatChain = false,
                        ExfatDirectoryWalk* walk = nullptr);

// The label from the first 0x83 entry of the root directory's first
// cluster; it replaces the descriptor's label. False when there is none.
bool ReadExfatLabel(const DeviceHandle& device, VolumeDescriptor& volume);

// A descriptor for an exFAT boot sector found at `start`: FsKind 4,
// partition type 7, the boot sector, its size from the boot sector (cut to
// 32 bits), and the label read from the device.
void MakeExfatDescriptor(VolumeDescriptor& out, const DeviceHandle& device, ByteView bootSector,
                         Sector64 start);

// Whether a boot-sector candidate at `sector` is backed by the volume it
// describes: its root directory's first sector passes IsExfatRootSector and
// its FAT begins with the media entry 0xFFFFFFF8.
bool CheckExfatAt(Sector64 sector, ByteView bootSector, const DeviceHandle& device);

}  // namespace kestrum
