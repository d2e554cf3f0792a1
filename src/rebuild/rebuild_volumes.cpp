#include "rebuild/rebuild_volumes.h"

#include <algorithm>

#include "fs/exfat/exfat_reader.h"
#include "fs/fat/fat_reader.h"
#include "fs/fat/lost_folders.h"
#include "fs/ntfs/ntfs_reader.h"
#include "rebuild/exfat_entry_volumes.h"
#include "rebuild/fat_directory_volumes.h"
#include "rebuild/ntfs_record_volumes.h"
#include "rebuild/structure_volumes.h"
#include "run/worker_state.h"
#include "scan/search_file_volume.h"

namespace kestrum {

namespace {

bool IsStructureCategory(std::int32_t c) {
  return (c >= kCategoryMbr && c <= kCategoryNtfsBoot) || (c >= kCategoryIndexRecord && c <= kCategoryFat32Info) ||
         (c >= kCategoryExfatBoot && c <= kNoCategory);
}

std::u16string RebuiltFsName(FsKind kind) {
  switch (kind) {
    case kFsRebuiltFat: return u"FAT";
    case kFsRebuiltExfat: return u"exFAT";
    default: return FsKindName(kind);
  }
}

// The volumes found from boot sectors, tables and MFT runs have no tree yet.
void ReadWithReader(VolumeDescriptor& volume, const ScannedFolderStarts* folderStarts) {
  switch (volume.fsKind) {
    case kFsExfat: ReadExfatVolume(volume); break;
    case kFsFat16:
    case kFsFat32: ReadFatVolume(volume, folderStarts); break;
    case kFsNtfs: ReadNtfsVolume(volume); break;
    default: break;
  }
}

void DescribeAsScanned(const VolumeDescriptor& scanned, const std::u16string& diskPath, VolumeDescriptor& volume) {
  volume.diskPath = diskPath;
  volume.diskDescription = scanned.diskDescription;
  volume.diskSectors = scanned.diskSectors;
  volume.removable = scanned.removable;
  if (volume.fsName.empty()) volume.fsName = RebuiltFsName(volume.fsKind);
}

}  // namespace

FindingRefs SelectStructureFindings(const std::vector<ScanFinding>& findings) {
  FindingRefs out;
  for (const ScanFinding& f : findings) {
    if (IsStructureCategory(f.category)) out.push_back(&f);
  }
  return out;
}

bool HasVolumeAt(Sector64 sector, const VolumeList& volumes) {
  return std::any_of(volumes.begin(), volumes.end(),
                     [sector](const VolumeDescriptor& v) { return v.startSector == sector; });
}

// A scan that read the whole area: its FAT directory findings are every
// sector there that opens a folder (in order, as the findings are).
ScannedFolderStarts FolderStartsOf(const std::vector<ScanFinding>& findings, const VolumeDescriptor& scanned) {
  ScannedFolderStarts starts{scanned.startSector, scanned.startSector + scanned.sectorCount, {}};
  for (const ScanFinding& f : findings) {
    if (f.category == kCategoryFatDir) starts.sectors.push_back(f.sector);
  }
  return starts;
}

void RebuildFoundVolumes(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                         const std::u16string& diskPath, const VolumeDescriptor& scanned, bool wholeArea,
                         VolumeList& rebuilt) {
  const FindingRefs structure = SelectStructureFindings(findings);
  VolumesFromPartitionTables(structure, device, rebuilt);
  VolumesFromBootSectors(structure, device, rebuilt);
  NtfsVolumesFromMftRuns(findings, device, rebuilt);
  FatVolumesFromDirectories(findings, device, rebuilt);
  RebuildExfatFromFindings(device, findings, rebuilt);
  const ScannedFolderStarts folderStarts = wholeArea ? FolderStartsOf(findings, scanned) : ScannedFolderStarts{};
  for (VolumeDescriptor& v : rebuilt) {
    DescribeAsScanned(scanned, diskPath, v);
    if (AbortRequested()) return;
    ReadWithReader(v, wholeArea ? &folderStarts : nullptr);
  }
  const std::size_t before = rebuilt.size();
  RebuildNtfsFromFindings(findings, device, diskPath, rebuilt);
  for (std::size_t i = before; i < rebuilt.size(); ++i) DescribeAsScanned(scanned, diskPath, rebuilt[i]);
}

void RebuildVolumesFromFindings(const std::vector<ScanFinding>& findings, const std::u16string& diskPath,
                                const VolumeDescriptor& scanned, bool wholeArea, VolumeList& results) {
  DeviceHandle device;
  if (!OpenDevice(diskPath, device)) return;
  results.clear();
  results.push_back(BuildSearchFileVolume(findings, scanned));
  VolumeList rebuilt;
  RebuildFoundVolumes(findings, device, diskPath, scanned, wholeArea, rebuilt);
  CloseDevice(device);
  for (VolumeDescriptor& v : rebuilt) results.push_back(std::move(v));
}

}  // namespace kestrum
