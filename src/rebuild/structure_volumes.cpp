#include "rebuild/structure_volumes.h"

#include <algorithm>
#include <array>

#include "base/catalog.h"
#include "disk/partition_table.h"
#include "fs/bitlocker.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/fat/fat_checks.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_reader.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_index.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/ntfs_reader.h"
#include "scan/boot_sector_tests.h"
#include "scan/mft_runs.h"

namespace kestrum {

namespace {

constexpr std::uint8_t kTypeNtfs = 0x07;
constexpr std::uint8_t kTypeFat16 = 0x06;
constexpr std::uint8_t kTypeFat32 = 0x0B;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;

ByteView CopyOf(const ScanFinding& finding) { return finding.SectorCopy(); }

void SetBootSector(VolumeDescriptor& volume, ByteView sector) {
  volume.bootSector.fill(0);
  std::copy_n(sector.begin(), std::min<std::size_t>(sector.size(), kSectorSize), volume.bootSector.begin());
}

FsKind KindOfPartitionType(std::uint8_t type, ByteView bootSector) {
  switch (type) {
    case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: case 0x1E: return kFsFat16;
    case 0x0B: case 0x0C: case 0x1B: case 0x1C: return kFsFat32;
    case 0x07: return HasTag(bootSector, bpb::kExfatName, "EXFAT") ? kFsExfat : kFsNtfs;
    case 0x17: return kFsNtfs;
    default: return kFsUnknown;
  }
}

void ReadLabel(const DeviceHandle& device, VolumeDescriptor& volume) {
  switch (volume.fsKind) {
    case kFsExfat: ReadExfatLabel(device, volume); break;
    case kFsFat16:
    case kFsFat32: ReadFatLabel(volume, device); break;
    case kFsNtfs: ReadNtfsLabel(device, volume); break;
    default: break;
  }
}

bool PassesAnyBootTest(ByteView sector) {
  return IsNtfsBootSector(sector) || IsFat32BootSector(sector) || IsFat16BootSector(sector) ||
         IsExfatBootSector(sector);
}

bool IsDataEntry(const TableEntry& entry) {
  return entry.type >= table_test::kLowestType && entry.type <= table_test::kHighestType &&
         !IsExtendedType(entry.type) && entry.startLba != 0 && entry.sectorCount >= table_test::kMinSectors &&
         (entry.bootIndicator == 0 || entry.bootIndicator == mbr::kActive);
}

void AppendUnlessKnown(VolumeDescriptor&& volume, VolumeList& rebuilt) {
  if (!HasVolumeAt(volume.startSector, rebuilt)) rebuilt.push_back(std::move(volume));
}

VolumeDescriptor NtfsVolumeAt(Sector64 start, ByteView boot, const DeviceHandle& device, FoundBy how) {
  VolumeDescriptor v;
  v.startSector = start;
  v.sectorCount = ntfs::BootSectorVolumeSectors(boot);
  SetBootSector(v, boot);
  v.partitionType = kTypeNtfs;
  v.fsKind = kFsNtfs;
  v.foundBy = how;
  ReadNtfsLabel(device, v);
  return v;
}

VolumeDescriptor FatVolumeAt(Sector64 start, ByteView boot, const DeviceHandle& device, FoundBy how) {
  VolumeDescriptor v;
  v.startSector = start;
  v.sectorCount = FatVolumeSectors(boot);
  SetBootSector(v, boot);
  const bool fat16 = ReadLe16(boot, fatboot::kFatSize16) != 0;
  v.partitionType = fat16 ? kTypeFat16 : kTypeFat32;
  v.fsKind = fat16 ? kFsFat16 : kFsFat32;
  v.foundBy = how;
  ReadFatLabel(v, device);
  return v;
}

// A BitLocker volume starts at `start`: what its boot sector or a backup of
// it shows (the cover FAT volume of BitLocker To Go) is none of the user's data.
bool IsBitLockerAt(const DeviceHandle& device, Sector64 start) {
  std::array<std::uint8_t, kSectorSize> sector{};
  return ReadSectors(device, sector, start, 1) && IsBitLockerBootSector(sector);
}

// The first rule that fits the boot sector found at `a`; false when none
// does. The backups lie as far into the volume as the boot sector's own
// sector size puts them.
bool VolumeOfBootSector(Sector64 a, ByteView boot, const DeviceHandle& device, VolumeList& rebuilt,
                        VolumeDescriptor& out) {
  const Sector64 total = ntfs::BootSectorVolumeSectors(boot);
  if (CheckNtfsBootSector(a, boot, device)) {
    out = NtfsVolumeAt(a, boot, device, FoundBy::kBootSector);
    return true;
  }
  if (a >= total && total != 0 && CheckNtfsBootSector(a - total, boot, device)) {
    if (HasVolumeAt(a - total, rebuilt)) return false;
    out = NtfsVolumeAt(a - total, boot, device, FoundBy::kBackupBootSector);
    return true;
  }
  if (CheckFatAt(device, boot, a)) {
    out = FatVolumeAt(a, boot, device, FoundBy::kBootSector);
    return true;
  }
  const Sector64 fatBackup = FatBackupBootOffset(boot);
  if (fatBackup != 0 && a >= fatBackup && CheckFatAt(device, boot, a - fatBackup)) {
    out = FatVolumeAt(a - fatBackup, boot, device, FoundBy::kBackupBootSector);
    return true;
  }
  Sector64 exfatStart = a;
  FoundBy how = FoundBy::kBootSector;
  if (!CheckExfatAt(a, boot, device)) {
    const Sector64 exfatBackup = ExfatBackupBootOffset(boot);
    if (exfatBackup == 0 || a < exfatBackup || !CheckExfatAt(a - exfatBackup, boot, device)) return false;
    exfatStart = a - exfatBackup;
    how = FoundBy::kBackupBootSector;
  }
  MakeExfatDescriptor(out, device, boot, exfatStart);
  out.foundBy = how;
  return true;
}

}  // namespace

void VolumesFromPartitionTables(const FindingRefs& structure, const DeviceHandle& device, VolumeList& rebuilt) {
  for (const ScanFinding* table : structure) {
    if (table->category != kCategoryEbr) continue;
    for (const TableEntry& entry : ParseTableEntries(CopyOf(*table))) {
      if (!IsDataEntry(entry)) continue;
      const std::uint64_t s = std::uint64_t{table->sector} + entry.startLba;
      if (HasVolumeAt(s, rebuilt)) continue;
      VolumeDescriptor v;
      v.activeFlag = entry.bootIndicator == mbr::kActive ? 1 : 0;
      v.entryClass = 2;
      v.partitionType = entry.type;
      v.startSector = s;
      v.sectorCount = entry.sectorCount;
      v.foundBy = FoundBy::kPartitionTable;
      if (!ReadSectors(device, v.bootSector, s, 1) || IsBitLockerBootSector(v.bootSector)) continue;
      v.fsKind = KindOfPartitionType(entry.type, v.bootSector);
      SerialFromBootSector(v);
      ReadLabel(device, v);
      if (v.label.empty()) v.label = Tr(kDefaultLabel);
      if (PassesAnyBootTest(v.bootSector)) rebuilt.push_back(std::move(v));
    }
  }
}

void VolumesFromBootSectors(const FindingRefs& structure, const DeviceHandle& device, VolumeList& rebuilt) {
  for (const ScanFinding* found : structure) {
    switch (found->category) {
      case kCategoryNtfsBoot: case kCategoryFat16Boot: case kCategoryFat32Boot: case kCategoryExfatBoot: break;
      default: continue;
    }
    if (found->SectorCopy().size() < kSectorSize || HasVolumeAt(found->sector, rebuilt)) continue;
    VolumeDescriptor v;
    if (!VolumeOfBootSector(found->sector, CopyOf(*found), device, rebuilt, v) || IsBitLockerAt(device, v.startSector)) {
      continue;
    }
    SerialFromBootSector(v);
    AppendUnlessKnown(std::move(v), rebuilt);
  }
}

void NtfsVolumesFromMftRuns(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                            VolumeList& rebuilt) {
  for (const MftRun& run : GroupMftRuns(findings)) {
    if (!run.mftMark || run.Count() < kMinMarkedRunRecords) continue;
    InferredNtfsStart inferred;
    if (!InferNtfsVolumeStart(findings, run, inferred) || HasVolumeAt(inferred.start, rebuilt)) continue;
    if (inferred.sectorsPerCluster > kMaxSectorsPerCluster) continue;  // no boot sector can say so
    VolumeDescriptor v;
    v.startSector = inferred.start;
    v.sectorCount = kUnknownVolumeSectors;
    v.entryClass = 2;
    v.partitionType = kTypeNtfs;
    v.fsKind = kFsNtfs;
    v.foundBy = FoundBy::kMftRun;
    v.bootSector[ntfs::boot::kSectorsPerCluster] = static_cast<std::uint8_t>(inferred.sectorsPerCluster);
    WriteLe64(v.bootSector, ntfs::boot::kTotalSectors, kUnknownVolumeSectors);
    WriteLe64(v.bootSector, ntfs::boot::kMftCluster, inferred.firstCluster);
    ReadNtfsLabel(device, v);
    rebuilt.push_back(std::move(v));
  }
}

}  // namespace kestrum
