#pragma once
// Volumes the platform cannot name (damaged or RAW ones) are recognised by
// their own boot sector or one of its backup copies, and then read like any
// other volume.

#include "disk/device.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// Where the backup boot sectors lie, relative to the volume's first sector,
// in the volume's own sectors (of 512 to 4096 bytes).
constexpr Sector64 kFat32BackupBootSector = 6;
constexpr Sector64 kExfatBackupBootSector = 12;  // the backup boot region

// Looks for a boot sector on the volume `device` (sector numbers relative
// to it): sector 0 (FAT12/16, FAT32, NTFS, exFAT in that order), then the
// FAT32 backup at 6 (FAT32 before FAT16), the NTFS backup in the last sector
// (by volume.sectorCount), the exFAT backup at 12 — each of the volume's own
// sectors: a copy counts where its own sector size puts it. A partition type byte of
// NTFS or exFAT (7, 17, 27) moves the NTFS backup before the FAT32 one. A
// sector that cannot be read matches nothing. On a hit the sector goes into
// volume.bootSector.
bool ProbeBootSector(const DeviceHandle& device, VolumeDescriptor& volume, FsKind& kind,
                     std::uint8_t typeHint = 0);

// What the system would say of a mounted volume (file-system name as the
// system gives it, label, serial), from its first sector and its own label,
// for a volume the system cannot look at itself (an image file on Windows).
// False when the first sector is no boot sector.
bool NameLikeTheSystem(const DeviceHandle& device, Sector64 firstSector, Sector64 sectorCount,
                       std::u16string& fsName, std::u16string& label, std::uint32_t& serial);

// For a volume the platform named no file system on: a probed kind becomes
// the volume's, with the label read from the file system itself through the
// volume's disk, the partition type, the file-system name and the serial.
// Without a hit (or when the disk will not open) the kind stays 0.
void AdoptProbedVolume(VolumeDescriptor& volume, const DeviceHandle& device, std::uint8_t typeHint = 0);

}  // namespace kestrum
