#include "scan/sector_classifier.h"

#include "disk/partition_table.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_sectors.h"
#include "fs/fat/fat_checks.h"
#include "fs/fat/fat_layout.h"
#include "fs/ntfs/ntfs_layout.h"
#include "scan/boot_sector_tests.h"

namespace kestrum {

namespace {

ScanCategory ClassifySignedSector(ByteView sector, Sector64 sectorNumber) {
  if (IsNtfsBootSector(sector)) return kCategoryNtfsBoot;
  if (IsFat16BootSector(sector)) return kCategoryFat16Boot;
  if (IsFat32BootSector(sector)) return kCategoryFat32Boot;
  if (IsExfatBootSector(sector)) return kCategoryExfatBoot;
  if (IsPartitionTableSector(sector)) return sectorNumber == 0 ? kCategoryMbr : kCategoryEbr;
  return kNoCategory;
}

bool IsFirstAttributeType(std::uint32_t type) {
  switch (type) {
    case 0x10: case 0x20: case 0x30: case 0x50: case 0x80: case ntfs::attr::kEndMarker:
      return true;
    default:
      return false;
  }
}

// "." and ".." open every FAT subdirectory.
bool HasDotEntries(ByteView sector) {
  return HasTag(sector, 0, ".   ") && HasTag(sector, fatdir::kEntrySize, "..  ");
}

bool IsFatRootStart(ByteView sector) {
  // Creation date, access date and size: a label carries none of them.
  return ReadLe32(sector, fatdir::kCreationDate) == 0 && ReadLe32(sector, fatdir::kSize) == 0 &&
         IsVolumeLabelEntry(sector.first(fatdir::kEntrySize));
}

bool IsExfatRootStart(ByteView sector) {
  std::uint8_t first = sector[0];
  return (first == exfatentry::kLabel || first == exfatentry::kDeletedLabel) &&
         sector[exfatentry::kSize] == exfatentry::kBitmap &&
         sector[2 * exfatentry::kSize] == exfatentry::kUpcase && IsExfatRootSector(sector);
}

bool CanOpenEntrySetSector(std::uint8_t type) {
  switch (type) {
    case exfatentry::kFile: case exfatentry::kStream: case exfatentry::kName:
    case exfatentry::kDeletedFile: case exfatentry::kDeletedStream: case exfatentry::kDeletedName:
    case exfatentry::kLabel: case exfatentry::kDeletedLabel:
      return true;
    default:
      return false;
  }
}

ScanCategory ClassifyUnsignedSector(ByteView sector) {
  if (HasTag(sector, ntfs::record::kMagic, "FILE")) {
    // A FILE sector is an MFT record or nothing: no other test applies to it.
    return IsMftRecordCandidate(sector) ? kCategoryFileRecord : kNoCategory;
  }
  if (HasDotEntries(sector)) return kCategoryFatDir;
  if (HasTag(sector, ntfs::indx::kMagic, "INDX")) return kCategoryIndexRecord;
  if (IsFatRootStart(sector)) return kCategoryFatRootDir;
  if (IsExfatRootStart(sector)) return kCategoryExfatRootDir;
  if (CanOpenEntrySetSector(sector[0]) && IsEntrySetSector(0, sector)) return kCategoryExfatDir;
  return kNoCategory;
}

}  // namespace

bool IsMftRecordCandidate(ByteView sector) {
  if (sector.size() < kSectorSize || !HasTag(sector, ntfs::record::kMagic, "FILE")) return false;
  if (ReadLe16(sector, ntfs::record::kFirstAttribute) != record_test::kFirstAttributeOffset) return false;
  if (ReadLe32(sector, record_test::kAllocatedSize) != record_test::kRecordBytes) return false;
  std::uint32_t used = ReadLe32(sector, record_test::kUsedSize);
  if (used > record_test::kRecordBytes || used % 8 != 0) return false;
  return IsFirstAttributeType(ReadLe32(sector, record_test::kFirstAttributeOffset));
}

bool ClassifySector(ByteView sector, Sector64 sectorNumber, ScanCategory& category) {
  category = kNoCategory;
  if (sector.size() < kSectorSize) return false;
  const bool signature = sector[mbr::kSignature] == 0x55 && sector[mbr::kSignature + 1] == 0xAA;
  category = signature ? ClassifySignedSector(sector, sectorNumber) : ClassifyUnsignedSector(sector);
  return category != kNoCategory;
}

}  // namespace kestrum
