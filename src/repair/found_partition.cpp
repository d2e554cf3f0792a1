#include "repair/found_partition.h"

#include <algorithm>

#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/fat/fat_checks.h"
#include "fs/fat/fat_layout.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_index.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum::repair {

namespace {

using Check = bool (*)(Sector64 sector, ByteView boot, const DeviceHandle& disk);

bool CheckFat(Sector64 sector, ByteView boot, const DeviceHandle& disk) {
  return CheckFatAt(disk, boot, sector);
}

// Valid where found, else a backup copy `backupOffset` sectors into a volume
// that validates there.
std::uint8_t DataStateOf(const FoundPartition& record, Sector64 backupOffset, Check check,
                         const DeviceHandle& disk) {
  ByteView boot(record.bootSector);
  if (check(record.startSector, boot, disk)) return kDataValid;
  if (backupOffset != 0 && record.startSector >= backupOffset &&
      check(record.startSector - backupOffset, boot, disk)) {
    return kDataBackup;
  }
  return kDataDamaged;
}

// Sets the size from a sector count; false when it is zero or the end
// would not fit a sector number.
bool SetSize(FoundPartition& record, std::uint64_t sectors) {
  if (sectors == 0 || sectors - 1 > UINT64_MAX - record.startSector) return false;
  record.sectorCount = sectors;
  record.endSector = record.startSector + sectors - 1;
  return true;
}

// Sizes are the boot sector's counts of the volume's own sectors, in
// 512-byte units; the backups lie that far in too.
bool CompleteNtfs(FoundPartition& record, const DeviceHandle& disk) {
  // The volume's own count leaves out the backup boot sector that follows
  // it; the partition holds both.
  const std::uint64_t total = ntfs::BootSectorVolumeSectors(record.bootSector);
  const std::uint32_t units = ntfs::SectorUnits(record.bootSector);
  if (total == 0 || units == 0 || total > UINT64_MAX - units || !SetSize(record, total + units)) return false;
  record.dataState = DataStateOf(record, total, CheckNtfsBootSector, disk);
  return true;
}

bool CompleteFat(FoundPartition& record, const DeviceHandle& disk) {
  // Small volumes keep their size in the 16-bit field only.
  if (!SetSize(record, FatVolumeSectors(record.bootSector))) return false;
  record.dataState = DataStateOf(record, FatBackupBootOffset(record.bootSector), CheckFat, disk);
  return true;
}

bool CompleteExfat(FoundPartition& record, const DeviceHandle& disk) {
  if (!SetSize(record, ExfatVolumeSectors(record.bootSector))) return false;
  record.dataState = DataStateOf(record, ExfatBackupBootOffset(record.bootSector), CheckExfatAt, disk);
  return true;
}

}  // namespace

bool IsFoundPartitionKind(ScanCategory category) {
  switch (category) {
    case kCategoryMbr:
    case kCategoryEbr:
    case kCategoryNtfsBoot:
    case kCategoryFat16Boot:
    case kCategoryFat32Boot:
    case kCategoryExfatBoot: return true;
    default: return false;
  }
}

FoundPartitionList FoundPartitionsFromFindings(const std::vector<ScanFinding>& findings) {
  FoundPartitionList out;
  for (const ScanFinding& finding : findings) {
    if (!IsFoundPartitionKind(finding.category)) continue;
    FoundPartition record;
    record.startSector = finding.sector;
    record.kind = finding.category;
    const ByteView copy = finding.SectorCopy();
    std::copy_n(copy.begin(), std::min(copy.size(), record.bootSector.size()), record.bootSector.begin());
    out.push_back(record);
  }
  return out;
}

bool CompleteFoundPartition(FoundPartition& record, const DeviceHandle& disk) {
  switch (record.kind) {
    case kCategoryNtfsBoot: return CompleteNtfs(record, disk);
    case kCategoryFat16Boot:
    case kCategoryFat32Boot: return CompleteFat(record, disk);
    case kCategoryExfatBoot: return CompleteExfat(record, disk);
    default: return true;
  }
}

FoundPartitionList CollectFoundPartitions(const std::vector<ScanFinding>& findings,
                                          const VolumeDescriptor& scanned) {
  FoundPartitionList records = FoundPartitionsFromFindings(findings);
  DeviceHandle disk = OpenVolumeOnDisk(scanned);
  FoundPartitionList out;
  for (FoundPartition& record : records) {
    if (CompleteFoundPartition(record, disk)) out.push_back(record);
  }
  CloseDevice(disk);
  return out;
}

FoundPartitionList& TheFoundPartitionList() {
  static FoundPartitionList list;
  return list;
}

}  // namespace kestrum::repair
