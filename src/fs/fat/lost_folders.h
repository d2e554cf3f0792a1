#pragma once
// Folders no entry leads to any more: after a quick format (the FAT and the
// root cleared) or when the entry of a folder or of its parent was wiped,
// the folder's first cluster still opens with "." and "..". They are looked
// for among the clusters no chain of the tree holds, read with what they
// hold, and hung under LostFile, named by their cluster ("Dir1234").

#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

struct FatWalk;

// What a deep scan that read the volume's disk found of FAT folders: every
// sector of the area it read that opens with "." and ".." (its FAT
// directory findings), sorted. A free cluster inside that area whose first
// sector is not among them opens no folder the scan would show, so the
// search for lost folders need not read the free space again (the whole
// disk, when it is more than the page cache holds). One such sector that
// ends in 55 AA is a boot-sector candidate to the scan, and is passed over
// here as it is there.
struct ScannedFolderStarts {
  Sector64 areaStart = 0;
  Sector64 areaEnd = 0;  // just past the area
  std::vector<Sector64> sectors;

  // Whether the cluster starting at `sector` may open a folder.
  bool MayStartFolder(Sector64 sector) const;
};

// After the reader walked the tree from the root: appends every lost folder
// and its content, all marked so that both views show them. `walk` holds
// the clusters read as directories so far; `scanned`, when given, spares
// the reading of free clusters the scan saw open no folder. False when
// stopped.
bool ReadLostFolders(VolumeDescriptor& volume, const DeviceHandle& device, FatWalk& walk,
                     const ScannedFolderStarts* scanned = nullptr);

}  // namespace kestrum
