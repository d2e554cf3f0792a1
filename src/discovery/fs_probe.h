#pragma once
// What the platform can tell about the file system of a volume: its name,
// label and serial number, as the system names mounted volumes (libblkid's
// superblock probe on Linux, GetVolumeInformationW on Windows).

#include <cstdint>
#include <string>
#include <vector>

#include "disk/device.h"
#include "platform/system_disks.h"

namespace kestrum {

// fsName: "NTFS", "FAT" (FAT12/16), "FAT32", "exFAT", or the system's own name.
using PlatformVolumeInfo = platform::SystemVolumeInfo;

// Probes `sectorCount` sectors of the device from `firstSector` (relative to
// the handle). False when no file system is named there, or when several
// are (their types are then in `claimants`). Where the system
// has no view of the device (an image file on Windows) the volume is named
// from its first sector as the system would name it mounted.
bool ProbePlatformVolume(const DeviceHandle& device, Sector64 firstSector, Sector64 sectorCount,
                         PlatformVolumeInfo& out);

}  // namespace kestrum
