#include "discovery/probe.h"

#include <array>

#include "fs/exfat/exfat_reader.h"
#include "fs/fat/fat_reader.h"
#include "fs/ntfs/ntfs_reader.h"
#include "scan/boot_sector_tests.h"

namespace kestrum {

namespace {

using SectorBytes = std::array<std::uint8_t, kSectorSize>;

bool ReadOne(const DeviceHandle& device, Sector64 sector, SectorBytes& out) {
  out.fill(0);
  return ReadSectors(device, out, sector, 1);
}

FsKind KindAtFirstSector(ByteView sector) {
  if (IsFat16BootSector(sector)) return kFsFat16;
  if (IsFat32BootSector(sector)) return kFsFat32;
  if (IsNtfsBootSector(sector)) return kFsNtfs;
  if (IsExfatBootSector(sector)) return kFsExfat;
  return kFsUnknown;
}

// A copy at sector 6 is FAT32's: there the FAT32 test decides first.
FsKind KindAtFat32Backup(ByteView sector) {
  if (IsFat32BootSector(sector)) return kFsFat32;
  if (IsFat16BootSector(sector)) return kFsFat16;
  return kFsUnknown;
}

bool IsNtfsOrExfatType(std::uint8_t type) { return type == 0x07 || type == 0x17 || type == 0x27; }

// A volume's sectors are 1, 2, 4 or 8 units of 512 bytes; its backup boot
// sectors lie that many units per sector into it.
constexpr std::uint32_t kSectorUnitChoices[] = {1, 2, 4, 8};

// The copy at `place` of the volume's own sectors (counted from the end when
// `fromEnd`), for whichever sector size the copy itself names.
FsKind KindOfCopy(const DeviceHandle& device, const VolumeDescriptor& volume, Sector64 place, bool fromEnd,
                  FsKind (*kindOf)(ByteView), SectorBytes& sector) {
  for (std::uint32_t units : kSectorUnitChoices) {
    const Sector64 offset = place * units;
    if (fromEnd && (volume.sectorCount == 0 || volume.sectorCount < offset)) continue;
    if (!ReadOne(device, fromEnd ? volume.sectorCount - offset : offset, sector)) continue;
    const FsKind kind = kindOf(sector);
    if (kind != kFsUnknown && BootSectorSectorSize(sector) == units * kSectorSize) return kind;
  }
  return kFsUnknown;
}

FsKind NtfsKind(ByteView sector) { return IsNtfsBootSector(sector) ? kFsNtfs : kFsUnknown; }
FsKind ExfatKind(ByteView sector) { return IsExfatBootSector(sector) ? kFsExfat : kFsUnknown; }

}  // namespace

bool NameLikeTheSystem(const DeviceHandle& device, Sector64 firstSector, Sector64 sectorCount,
                       std::u16string& fsName, std::u16string& label, std::uint32_t& serial) {
  VolumeDescriptor volume;
  volume.startSector = firstSector;
  volume.sectorCount = sectorCount;
  if (!ReadSectors(device, volume.bootSector, firstSector, 1)) return false;
  // The label readers go by the kind: a FAT16 label is in the root region.
  volume.fsKind = KindAtFirstSector(volume.bootSector);
  switch (volume.fsKind) {
    case kFsNtfs:
      ReadNtfsLabel(device, volume);
      volume.partitionType = 7;
      fsName = u"NTFS";
      break;
    case kFsFat16:
      ReadFatLabel(volume, device);
      volume.partitionType = 6;
      fsName = u"FAT";
      break;
    case kFsFat32:
      ReadFatLabel(volume, device);
      volume.partitionType = 11;
      fsName = u"FAT32";
      break;
    case kFsExfat:
      ReadExfatLabel(device, volume);
      volume.partitionType = 7;
      fsName = u"exFAT";
      break;
    default:
      return false;
  }
  SerialFromBootSector(volume);
  label = volume.label;
  serial = volume.readerState.serial;
  return true;
}

bool ProbeBootSector(const DeviceHandle& device, VolumeDescriptor& volume, FsKind& kind, std::uint8_t typeHint) {
  kind = kFsUnknown;
  SectorBytes sector{};
  if (ReadOne(device, 0, sector)) kind = KindAtFirstSector(sector);
  // NTFS keeps its backup in the volume's last sector.
  auto tryNtfsBackup = [&] {
    if (kind == kFsUnknown) kind = KindOfCopy(device, volume, 1, true, NtfsKind, sector);
  };
  if (IsNtfsOrExfatType(typeHint)) tryNtfsBackup();
  if (kind == kFsUnknown) kind = KindOfCopy(device, volume, kFat32BackupBootSector, false, KindAtFat32Backup, sector);
  tryNtfsBackup();
  if (kind == kFsUnknown) kind = KindOfCopy(device, volume, kExfatBackupBootSector, false, ExfatKind, sector);
  if (kind == kFsUnknown) return false;
  volume.bootSector = sector;
  return true;
}

void AdoptProbedVolume(VolumeDescriptor& volume, const DeviceHandle& device, std::uint8_t typeHint) {
  const SectorBytes original = volume.bootSector;
  FsKind kind = kFsUnknown;
  if (!ProbeBootSector(device, volume, kind, typeHint)) return;
  DeviceHandle disk = OpenVolumeOnDisk(volume);
  if (!disk.IsOpen()) {
    volume.bootSector = original;
    return;
  }
  volume.fsKind = kind;
  volume.label.clear();  // whatever the file system holds, and no default
  switch (kind) {
    case kFsNtfs:
      ReadNtfsLabel(disk, volume);
      volume.partitionType = 7;
      volume.fsName = u"NTFS";
      break;
    case kFsFat16:
      ReadFatLabel(volume, disk);
      volume.partitionType = 6;
      volume.fsName = FatGeometryOf(volume).width == kFat12 ? u"FAT12" : u"FAT16";
      break;
    case kFsFat32:
      ReadFatLabel(volume, disk);
      volume.partitionType = 11;
      volume.fsName = u"FAT32";
      break;
    case kFsExfat:
      ReadExfatLabel(disk, volume);
      volume.partitionType = 7;
      volume.fsName = u"exFat";
      break;
    default:
      break;
  }
  SerialFromBootSector(volume);
  CloseDevice(disk);
}

}  // namespace kestrum
