#pragma once
// The mounted volumes of the machine and how they lie on its disks: from
// FindFirstVolumeW, GetVolumePathNamesForVolumeNameW and
// IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS; and the partitions of one disk, from
// IOCTL_DISK_GET_DRIVE_LAYOUT_EX, named by the drive letters on them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system_disks.h"

namespace kestrum::platform::win32 {

struct VolumeExtentRecord {
  std::uint32_t disk = 0;
  std::uint64_t offset = 0;  // bytes
  std::uint64_t length = 0;
};

struct VolumeRecord {
  std::u16string guidPath;                 // "\\?\Volume{…}\"
  std::vector<std::u16string> mountPoints;  // "C:\", "D:\mnt\x\"
  std::vector<VolumeExtentRecord> extents;
};

struct LayoutPartition {
  int number = 0;
  std::uint64_t offset = 0;  // bytes
  std::uint64_t length = 0;
};

std::vector<VolumeRecord> ListVolumes();
// The partition table of an open disk as the system reads it.
std::vector<LayoutPartition> ReadLayout(void* diskHandle);

// "C:" for the first mount point that is a drive's root; empty when none is.
std::u16string DriveLetterOf(const VolumeRecord& volume);
// The device path a volume is read through: "\\.\C:" for a lettered one,
// its GUID path without the last backslash otherwise.
std::u16string VolumeDevicePath(const VolumeRecord& volume);

// The partitions of disk `disk` by ascending start: each layout entry,
// named by the drive letter of the volume that starts there (else
// "DISKNAME#N" and read through the disk), then volumes on the disk that the
// layout did not list. Volumes over several extents are left out, as the
// system's own tools cannot read them as one piece either.
std::vector<SystemPartition> PartitionsOfDisk(std::uint32_t disk, const std::u16string& diskName,
                                              const std::vector<LayoutPartition>& layout,
                                              const std::vector<VolumeRecord>& volumes);

}  // namespace kestrum::platform::win32
