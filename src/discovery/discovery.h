#pragma once
// Finding what the user can choose from: the disks (block devices from sysfs,
// plus image files the user added) and the volumes on them.

#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/disk_info.h"
#include "discovery/sysfs.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// Which disks to list.
struct DiskSelection {
  bool systemDisks = true;               // every disk sysfs lists
  std::vector<std::u16string> paths;     // plus these disks or image files
};

// Things the user should be told about: files that would not open, devices
// too large to handle without truncating sector numbers.
using DiscoveryProblems = std::vector<std::u16string>;

// False when no disk was listed.
bool EnumerateDisks(const DiskSelection& selection, DiskList& out, DiscoveryProblems* problems,
                    const Sysfs& sysfs = Sysfs());

// Where one volume lies on its disk, before anything about it is known.
struct VolumeExtent {
  std::u16string diskPath;
  std::u16string volumePath;  // the partition's own device; empty inside image files
  std::u16string name;
  std::uint64_t startSector = 0;
  std::uint64_t sectorCount = 0;
  std::uint8_t partitionType = 0;  // the type byte of its table entry; 0 without a table
};

// The volumes of one disk, by ascending start sector: its sysfs partitions,
// or, for image files and disks the kernel did not partition, the disk's own
// partition table — or the whole disk when it starts with a file system (a
// boot sector ends in 55 AA too; one whose "entries" describe no partition
// inside the disk is taken for what it is). Entries that start beyond the
// disk's end are not listed, and are named in `problems`.
std::vector<VolumeExtent> CollectVolumeExtents(const DiskInfo& disk, DiscoveryProblems* problems,
                                               const Sysfs& sysfs = Sysfs());

// Opens the volume and fills the descriptor (false when it cannot be opened).
bool ProbeDriveLetter(const VolumeExtent& extent, const DiskList& disks, VolumeDescriptor& out);
// Fills the descriptor from what the platform reports about the open volume.
void FillVolumeFromOs(const VolumeExtent& extent, const DeviceHandle& volumeHandle,
                      const DiskList& disks, VolumeDescriptor& out);

struct VolumeListRequest {
  DiskSelection selection;
  VolumeList volumes;
  DiscoveryProblems problems;
};

// Worker procedure: lists the volumes of every selected disk, posting a
// volume-found message for each; aborts when there is no disk at all.
void VolumeListThread(VolumeListRequest& request);

}  // namespace kestrum
