#pragma once
// What the platform can tell about the file system of a volume: its name,
// label and serial number, from libblkid's superblock probe.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/device.h"

namespace kestrum {

struct PlatformVolumeInfo {
  std::u16string fsName;  // "NTFS", "FAT" (FAT12/16), "FAT32", "exFAT", or the type blkid gives
  std::u16string label;
  std::uint32_t serial = 0;
  // When more than one file system claims the area (an ext2 written over an
  // NTFS): the types libblkid finds there ("ntfs", "ext2", …).
  std::vector<std::string> claimants;
};

// Probes `sectorCount` sectors of the device from `firstSector` (relative to
// the handle). False when no file system is named there, or when several
// are (their types are then in `claimants`).
bool ProbePlatformVolume(const DeviceHandle& device, Sector64 firstSector, Sector64 sectorCount,
                         PlatformVolumeInfo& out);

// The low 32 bits of a UUID or serial text such as "1A2B-3C4D" or "0123456789ABCDEF".
std::uint32_t SerialFromUuidText(const std::string& uuid);
// A label as blkid hands it over: UTF-8 when it is valid UTF-8, else GBK bytes.
std::u16string DecodeLabelBytes(const std::string& bytes);

}  // namespace kestrum
