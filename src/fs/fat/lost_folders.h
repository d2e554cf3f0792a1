#pragma once
// Folders no entry leads to any more: after a quick format (the FAT and the
// root cleared) or when the entry of a folder or of its parent was wiped,
// the folder's first cluster still opens with "." and "..". They are looked
// for among the clusters no chain of the tree holds, read with what they
// hold, and hung under LostFile, named by their cluster ("Dir1234").

#include "disk/device.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

struct FatWalk;

// After the reader walked the tree from the root: appends every lost folder
// and its content, all marked so that both views show them. `walk` holds
// the clusters read as directories so far. False when stopped.
bool ReadLostFolders(VolumeDescriptor& volume, const DeviceHandle& device, FatWalk& walk);

}  // namespace kestrum
