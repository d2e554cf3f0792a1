#pragma once
// Finding what the user can choose from: the disks (those the system lists,
// plus image files the user added) and the volumes on them.

#include <functional>
#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/disk_info.h"
#include "disk/volume_descriptor.h"
#include "platform/system_disks.h"

namespace kestrum {

// Opens a device read-only: 0, or the errno of the failure.
int OpenDeviceOrErrno(const std::u16string& path, DeviceHandle& out);

// How discovery reaches the machine: the system's disks and the opening of
// devices. Tests give a made-up list and an opener that fails as it does for
// a user without rights.
struct DiscoveryPlatform {
  std::shared_ptr<const platform::SystemDisks> disks = platform::MachineDisks();
  std::function<int(const std::u16string& path, DeviceHandle& out)> open = OpenDeviceOrErrno;
};

// Which disks to list.
struct DiskSelection {
  bool systemDisks = true;               // every disk the system lists
  std::vector<std::u16string> paths;     // plus these disks or image files
  DiscoveryPlatform platform;
  // The logical sector size of the disks named in `paths`, when the user
  // gives it (--sector-size); 0: what the device reports, or, for an image,
  // what it holds.
  std::uint32_t sectorSize = 0;
};

// Things the user should be told about: files that would not open, devices
// of a sector size no disk has.
using DiscoveryProblems = std::vector<std::u16string>;

// A disk or partition device that is there but would not open, and why:
// most often a user without the rights to read disks.
struct UnopenedDevice {
  std::u16string path;
  int error = 0;  // errno
};
using UnopenedDevices = std::vector<UnopenedDevice>;

// False when no disk was listed. Devices that would not open are kept in
// `unopened` (a device without media is no disk and is not kept).
bool EnumerateDisks(const DiskSelection& selection, DiskList& out, DiscoveryProblems* problems,
                    UnopenedDevices* unopened = nullptr);

// Where one volume lies on its disk, before anything about it is known.
struct VolumeExtent {
  std::u16string diskPath;
  std::u16string volumePath;  // the partition's own device; empty inside image files
  std::u16string name;
  std::uint64_t startSector = 0;
  std::uint64_t sectorCount = 0;
  std::uint8_t partitionType = 0;  // the type byte of its table entry; 0 without a table
};

// The volumes of one disk, by ascending start sector: the partitions the system knows,
// or, for image files and disks the kernel did not partition, the disk's own
// partition table — or the whole disk when it starts with a file system (a
// boot sector ends in 55 AA too; one whose "entries" describe no partition
// inside the disk is taken for what it is). Entries that start beyond the
// disk's end are not listed, and are named in `problems`.
std::vector<VolumeExtent> CollectVolumeExtents(const DiskInfo& disk, DiscoveryProblems* problems,
                                               const DiscoveryPlatform& platform = {});

// Opens the volume and fills the descriptor (false when it cannot be opened;
// a partition device that would not open is kept in `unopened`).
bool ProbeDriveLetter(const VolumeExtent& extent, const DiskList& disks, VolumeDescriptor& out,
                      const DiscoveryPlatform& platform = {}, UnopenedDevices* unopened = nullptr);
// Fills the descriptor from what the platform reports about the open volume.
void FillVolumeFromOs(const VolumeExtent& extent, const DeviceHandle& volumeHandle,
                      const DiskList& disks, VolumeDescriptor& out);

// The warning for a volume another file system was written over (empty
// when none was): which one, and that the volume is read as its own.
std::u16string OverwrittenNote(const VolumeDescriptor& volume);

struct VolumeListRequest {
  DiskSelection selection;
  VolumeList volumes;
  DiscoveryProblems problems;
  UnopenedDevices unopened;
};

// Worker procedure: lists the volumes of every selected disk, posting a
// volume-found message for each; aborts when there is no disk at all (a disk
// that is there but would not open is no reason to abort: it is named in
// `unopened`).
void VolumeListThread(VolumeListRequest& request);

}  // namespace kestrum
