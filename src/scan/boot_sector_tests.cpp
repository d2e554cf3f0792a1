#include "scan/boot_sector_tests.h"

#include "disk/partition_table.h"
#include "disk/sector.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/fat/fat_layout.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum {

namespace {

bool IsWholeSector(ByteView sector) { return sector.size() >= kSectorSize; }

bool HasJump(ByteView sector) {
  return sector[bpb::kJump] == bpb::kJumpShort || sector[bpb::kJumpNop] == bpb::kNop;
}

bool HasOneOrTwoFats(ByteView sector) {
  std::uint8_t fats = sector[fatboot::kFatCount];
  return fats == 1 || fats == 2;
}

// Windows writes the LBA geometry, 63 sectors per track or 255 heads. The
// Linux tools write whatever the device reports: 32 sectors and 8 or 64
// heads on image files, or 0 and 0 when they learn nothing (mkntfs on a
// file). Any geometry a CHS address can hold is accepted, or the volumes
// Linux makes would never be found.
bool HasDiskGeometry(ByteView sector) {
  std::uint16_t sectorsPerTrack = ReadLe16(sector, bpb::kSectorsPerTrack);
  std::uint16_t heads = ReadLe16(sector, bpb::kHeads);
  if (sectorsPerTrack == bpb::kLbaSectorsPerTrack || heads == bpb::kLbaHeads) return true;
  return sectorsPerTrack <= bpb::kLbaSectorsPerTrack && heads <= bpb::kLbaHeads;
}

// Fixed disks carry F8; floppies and the small cards formatted like them
// F0 or F9–FF.
bool IsMediaByte(std::uint8_t media) { return media == bpb::kFloppyMedia || media >= bpb::kFixedDiskMedia; }

// Everything of the common test but the cluster size.
bool PassesCommonFields(ByteView sector) {
  if (!HasSectorSignature(sector) || !HasJump(sector)) return false;
  std::uint16_t bytesPerSector = ReadLe16(sector, bpb::kBytesPerSector);
  if (bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096) {
    return false;
  }
  if (!IsMediaByte(sector[bpb::kMedia])) return false;
  return HasDiskGeometry(sector);
}

}  // namespace

bool HasSectorSignature(ByteView sector) {
  return IsWholeSector(sector) && sector[mbr::kSignature] == 0x55 && sector[mbr::kSignature + 1] == 0xAA;
}

bool PassesCommonBootTest(ByteView sector) {
  if (!PassesCommonFields(sector)) return false;
  std::uint8_t spc = sector[fatboot::kSectorsPerCluster];
  return spc != 0 && (spc & (spc - 1)) == 0;  // 1 … 128: every power of two a byte holds
}

bool IsNtfsBootSector(ByteView sector) {
  // NTFS is never formatted as a floppy: only the fixed-disk media byte.
  return PassesCommonFields(sector) && sector[bpb::kMedia] == bpb::kFixedDiskMedia &&
         ntfs::SectorsPerCluster(sector) != 0 && sector[bpb::kNtfsClustersPerRecord] != 0 &&
         ntfs::RecordBytes(sector) != 0;
}

bool IsFat16BootSector(ByteView sector) {
  return PassesCommonBootTest(sector) && HasOneOrTwoFats(sector) &&
         (HasTag(sector, bpb::kFat16TypeText, "FAT16") || HasTag(sector, bpb::kFat16TypeText, "FAT12"));
}

bool IsFat32BootSector(ByteView sector) {
  return PassesCommonBootTest(sector) && HasOneOrTwoFats(sector) &&
         HasTag(sector, bpb::kFat32TypeText, "FAT32");
}

bool IsExfatBootSector(ByteView sector) {
  std::uint32_t units = 0;
  return HasSectorSignature(sector) && HasJump(sector) && HasTag(sector, bpb::kExfatName, "EXFAT") &&
         sector[exfatboot::kSectorShift] != 0 && ExfatUnitShift(sector, units);
}

std::uint32_t BootSectorSectorSize(ByteView sector) {
  if (IsExfatBootSector(sector)) return std::uint32_t{1} << sector[exfatboot::kSectorShift];
  if (IsNtfsBootSector(sector) || IsFat16BootSector(sector) || IsFat32BootSector(sector)) {
    return ReadLe16(sector, bpb::kBytesPerSector);
  }
  return 0;
}

bool IsPartitionTableSector(ByteView sector) {
  if (!HasSectorSignature(sector)) return false;
  for (const TableEntry& e : ParseTableEntries(sector)) {
    if (e.type >= table_test::kLowestType && e.type <= table_test::kHighestType && e.startLba != 0 &&
        e.sectorCount >= table_test::kMinSectors &&
        (e.bootIndicator == 0 || e.bootIndicator == mbr::kActive)) {
      return true;
    }
  }
  return false;
}

}  // namespace kestrum
