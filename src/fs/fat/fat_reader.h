#pragma once
// Reading a FAT16 or FAT32 volume straight from its disk: the FAT is loaded
// once and cached with the volume, the directory tree is walked from the
// root, and every file and folder becomes a node: the live ones, and the
// deleted ones (DeletedFile, DeletedFolder, a deleted folder read from its
// first cluster while that is free) with the chance that their content
// is still there, and the folders no entry leads to any more.

#include <cstdint>
#include <functional>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_table.h"

namespace kestrum {

struct ScannedFolderStarts;

// The reader for FsKind 10 and 11. Leaves the FAT in readerState.fat and a
// linked tree in readerState.nodes. False when the disk cannot be opened,
// the boot sector leaves nothing to read, or the user stopped the read (the
// tree is then left unlinked). `scanned`: what the deep scan that found the
// volume saw of folder starts (ReadLostFolders).
bool ReadFatVolume(VolumeDescriptor& volume, const ScannedFolderStarts* scanned = nullptr);

// Hands the bytes of the directory chain starting at `first` to `take`,
// cluster by cluster in chain order, up to the largest directory a FAT
// volume can hold; clusters that follow each other on the disk are read
// together. Sectors that would not read are left out of what `take` is
// given: their zeros would end the directory there. The walk ends at the
// end of the chain, at an invalid cluster, or at a cluster
// `readAsDirectory` already holds (a loop, or a cluster shared with a
// directory read before); clusters read are added to it. With
// `checkDots`, a chain whose first cluster does not start with "." and
// ".." is not followed past that cluster. Clusters with a sector that
// would not read are added to *unreadable (when given); the chain goes on
// past them. Returns the clusters read.
std::uint32_t ReadDirChain(const DeviceHandle& device, const FatGeometry& geometry, ByteView fat,
                           std::uint32_t first, bool checkDots, ClusterRuns& readAsDirectory,
                           const std::function<void(ByteView)>& take, std::uint32_t* unreadable = nullptr);

// What a walk over directories keeps from one directory to the next.
struct FatWalk {
  ClusterRuns readAsDirectory;  // clusters read as directories so far
  // Every folder entered must start with "." naming its cluster and ".."
  // its parent's (deleted folders always must).
  bool strictDots = false;
  // Directory clusters with a sector that would not read.
  std::uint32_t unreadableClusters = 0;
};

// Reads the directory at `cluster` (0: the root) under node `parent`, and
// below it every subdirectory, depth first with each folder's children
// appended before any grandchild. A subdirectory whose clusters were already
// read as a directory (one pointing at itself or an ancestor) is listed but
// not read again. Without a walk, one of its own. False when stopped, or
// when the directory itself gave nothing.
bool ReadFatDirectory(VolumeDescriptor& volume, const DeviceHandle& device, std::uint32_t cluster,
                      std::uint32_t parent, FatWalk* walk = nullptr);

// Reads the volume-label entry at the start of the root directory into
// volume.label, decoded from GBK. False when the sector cannot be read or
// does not start with a label.
bool ReadFatLabel(VolumeDescriptor& volume, const DeviceHandle& device);

}  // namespace kestrum
