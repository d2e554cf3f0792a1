#include "discovery/discovery.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>

#include "base/catalog.h"
#include "run/worker_state.h"
#include "base/text.h"
#include "discovery/device_rows.h"
#include "discovery/fs_probe.h"
#include "discovery/image_sector_size.h"
#include "disk/sector_size.h"
#include "disk/partition_table.h"
#include "fs/bitlocker.h"
#include "discovery/probe.h"
#include "discovery/table_notes.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "scan/boot_sector_tests.h"

namespace kestrum {

namespace {

std::u16string BaseName(const std::u16string& path) {
  return std::filesystem::path(path).filename().u16string();
}

// Fills size, text and number; false (with a problem) for a sector size no
// disk has, whose partition tables would be read at the wrong places.
bool FinishDisk(DiskInfo& disk, std::uint64_t bytes, std::uint32_t sectorSize, DiskList& out,
                DiscoveryProblems* problems) {
  if (!IsDeviceSectorSize(sectorSize)) {
    if (problems) {
      problems->push_back(disk.path + TrFormat(" 的扇区大小为 %u 字节，本软件只支持 512、1024、2048 和 4096 字节的扇区，已跳过",
                                                 sectorSize));
    }
    return false;
  }
  disk.sectorSize = sectorSize;
  disk.sectorCount = bytes / kSectorSize;
  disk.sizeText = FormatDiskSize(disk.sectorCount);
  disk.number = static_cast<std::uint32_t>(out.size());
  out.push_back(disk);
  return true;
}

void KeepUnopened(const std::u16string& path, int error, UnopenedDevices* unopened) {
  if (unopened == nullptr) return;
  for (const UnopenedDevice& kept : *unopened) {
    if (kept.path == path) return;
  }
  unopened->push_back({path, error});
}

// A window onto a disk, opened the way the platform opens devices.
int OpenWindow(const DiscoveryPlatform& platform, const std::u16string& path, Sector64 first,
               Sector64 count, DeviceHandle& out) {
  if (int error = platform.open(path, out)) return error;
  out.baseSector = first;
  out.windowSectors = count;
  out.sectorLimit = count;
  return 0;
}

void AddSystemDisk(const platform::SystemDisk& sys, const DiskSelection& selection, bool named, DiskList& out,
                   DiscoveryProblems* problems, UnopenedDevices* unopened) {
  const DiscoveryPlatform& platform = selection.platform;
  const std::u16string& path = sys.path;
  for (const DiskInfo& listed : out) {
    if (listed.path == path) return;
  }
  DeviceHandle handle;
  if (int error = platform.open(path, handle)) {
    // A card reader without a card is no disk; anything else the user must hear of.
    if (!platform::IsNoMediumError(error)) KeepUnopened(path, error, unopened);
    return;
  }
  DiskInfo disk;
  disk.path = path;
  disk.name = sys.name;
  disk.removable = sys.removable;
  if (!sys.backingFile.empty()) {
    disk.description = BaseName(FromUtf8(sys.backingFile));
  } else {
    disk.description = DecodeLabelBytes(ComposeDiskDescription(sys.vendor, sys.model));
  }
  if (disk.description.empty()) disk.description = disk.name;
  std::uint64_t bytes = QueryDeviceBytes(handle.fd);
  const std::uint32_t sectorSize = named && selection.sectorSize != 0 ? selection.sectorSize : handle.sectorSize;
  CloseDevice(handle);
  FinishDisk(disk, bytes, sectorSize, out, problems);
}

void AddImageDisk(const std::u16string& givenPath, const DiskSelection& selection, DiskList& out,
                  DiscoveryProblems* problems, UnopenedDevices* unopened) {
  const DiscoveryPlatform& platform = selection.platform;
  const std::u16string path = platform::FullPath(givenPath);
  for (const DiskInfo& listed : out) {
    if (listed.path == path) return;
  }
  DeviceHandle handle;
  if (int error = platform.open(path, handle)) {
    if (platform::IsDevicePath(path)) {
      KeepUnopened(path, error, unopened);  // a partition device given by name
    } else if (problems) {
      problems->push_back(Tr(u"无法打开镜像文件: ") + path + Tr(u"（") + OpenErrorText(error) + Tr(u"）"));
    }
    return;
  }
  DiskInfo disk;
  disk.path = path;
  disk.name = BaseName(path);
  disk.description = disk.name;
  disk.isImage = true;
  std::uint64_t bytes = QueryDeviceBytes(handle.fd);
  // A block device (a partition's, or one sysfs does not list) says its
  // size; an image file tells by what it holds.
  std::uint32_t sectorSize = selection.sectorSize;
  if (sectorSize == 0) sectorSize = QueryLogicalSectorSize(handle.fd);
  if (sectorSize == 0) sectorSize = ImageSectorSize(handle);
  CloseDevice(handle);
  FinishDisk(disk, bytes, sectorSize, out, problems);
}

const DiskInfo* FindDisk(const DiskList& disks, const std::u16string& path) {
  for (const DiskInfo& disk : disks) {
    if (disk.path == path) return &disk;
  }
  return nullptr;
}

// Partition numbers 1–4 that are extended containers in the disk's MBR.
std::vector<int> ExtendedContainers(const DeviceHandle& disk) {
  std::vector<int> numbers;
  std::array<std::uint8_t, kSectorSize> sector{};
  if (!ReadSectors(disk, sector, 0, 1) || !HasBootSignature(sector)) return numbers;
  auto entries = ParseTableEntries(sector);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (IsExtendedType(entries[i].type)) numbers.push_back(static_cast<int>(i + 1));
  }
  return numbers;
}

// A file system's boot sector at sector 0, whatever its table-shaped bytes say.
bool StartsWithBootSector(const DeviceHandle& handle) {
  std::array<std::uint8_t, kSectorSize> sector{};
  if (!ReadSectors(handle, sector, 0, 1)) return false;
  return IsNtfsBootSector(sector) || IsFat16BootSector(sector) || IsFat32BootSector(sector) ||
         IsExfatBootSector(sector);
}

bool AnyInsideDisk(const std::vector<PartitionEntry>& entries, std::uint64_t diskSectors) {
  return std::any_of(entries.begin(), entries.end(), [&](const PartitionEntry& e) {
    return e.startSector != 0 && e.startSector < diskSectors;
  });
}

void TellNotes(const PartitionTableNotes& notes, const DiskInfo& disk, DiscoveryProblems* problems) {
  if (problems == nullptr) return;
  for (std::u16string& line : TableNoteLines(notes, disk.name)) problems->push_back(std::move(line));
}

void CollectFromTable(const DiskInfo& disk, const DeviceHandle& handle, std::vector<VolumeExtent>& out,
                      DiscoveryProblems* problems) {
  const VolumeExtent whole{disk.path, u"", disk.name, 0, disk.sectorCount};
  std::array<std::uint8_t, kSectorSize> first{};
  PlatformVolumeInfo info;
  if ((ReadSectors(handle, first, 0, 1) && IsBitLockerBootSector(first)) ||
      ProbePlatformVolume(handle, 0, disk.sectorCount, info)) {
    out.push_back(whole);
    return;
  }
  std::vector<PartitionEntry> entries;
  PartitionTableNotes notes;
  const bool table = ReadPartitionTable(handle, entries, &notes);
  TellNotes(notes, disk, problems);
  if (!table || entries.empty()) {
    // No table and nothing the platform names: a file system whose first
    // sector is damaged still offers the whole disk when a backup copy of
    // its boot sector is found.
    VolumeDescriptor probed;
    probed.sectorCount = disk.sectorCount;
    FsKind kind = kFsUnknown;
    if (ProbeBootSector(handle, probed, kind)) out.push_back(whole);
    return;
  }
  if (!AnyInsideDisk(entries, disk.sectorCount) && StartsWithBootSector(handle)) {
    out.push_back(whole);
    return;
  }
  for (const PartitionEntry& e : entries) {
    std::u16string name = disk.name + FormatText("#%d", e.number);
    if (e.startSector >= disk.sectorCount) {
      if (problems) problems->push_back(name + Tr(u" 的起始扇区超出磁盘末尾，未列出"));
      continue;
    }
    out.push_back({disk.path, u"", name, e.startSector, e.sectorCount, e.type});
  }
}

// Whether a table's type byte may stand for a volume of `kind`: the export
// picks its copy routine by the type, so a table that says FAT over an NTFS
// volume must not win. A volume of no known kind keeps the table's byte.
bool TypeFitsKind(std::uint8_t type, FsKind kind) {
  switch (kind) {
    case kFsUnknown: return true;
    case kFsNtfs: return type == 0x07 || type == 0x17 || type == 0x27;
    case kFsExfat: return type == 0x07 || type == 0x27;
    case kFsFat16: return type == 0x01 || type == 0x04 || type == 0x06 || type == 0x0E || type == 0x11 ||
                          type == 0x14 || type == 0x16 || type == 0x1E;
    case kFsFat32: return type == 0x0B || type == 0x0C || type == 0x1B || type == 0x1C;
    default: return false;
  }
}

// The types other than the one read of the file systems libblkid found in
// one area, joined for a message; empty when there are none.
std::u16string OtherClaimants(const std::vector<std::string>& claimants, FsKind kind) {
  const char* own = kind == kFsNtfs ? "ntfs" : kind == kFsExfat ? "exfat" : "vfat";
  std::u16string others;
  for (const std::string& type : claimants) {
    if (type == own) continue;
    if (!others.empty()) others += Tr(u"、");
    others += FromUtf8(type);
  }
  return others;
}

// The table's type byte for a partition the kernel found at `start`.
std::uint8_t TableTypeAt(const std::vector<PartitionEntry>& entries, std::uint64_t start) {
  for (const PartitionEntry& e : entries) {
    if (e.startSector == start) return e.type;
  }
  return 0;
}

}  // namespace

int OpenDeviceOrErrno(const std::u16string& path, DeviceHandle& out) {
  if (OpenDevice(path, out)) return 0;
  return errno != 0 ? errno : EIO;
}

bool EnumerateDisks(const DiskSelection& selection, DiskList& out, DiscoveryProblems* problems,
                    UnopenedDevices* unopened) {
  out.clear();
  const DiscoveryPlatform& platform = selection.platform;
  if (selection.systemDisks) {
    for (const platform::SystemDisk& disk : platform.disks->ListDisks()) {
      AddSystemDisk(disk, selection, false, out, problems, unopened);
    }
  }
  for (const std::u16string& path : selection.paths) {
    platform::SystemDisk sys;
    if (platform.disks->FindDisk(path, sys)) {
      AddSystemDisk(sys, selection, true, out, problems, unopened);
    } else {
      AddImageDisk(path, selection, out, problems, unopened);
    }
  }
  return !out.empty();
}

std::vector<VolumeExtent> CollectVolumeExtents(const DiskInfo& disk, DiscoveryProblems* problems,
                                               const DiscoveryPlatform& platform) {
  std::vector<VolumeExtent> extents;
  DeviceHandle handle;
  if (platform.open(disk.path, handle) != 0) return extents;
  handle.sectorSize = disk.sectorSize;  // the tables count its sectors
  std::vector<platform::SystemPartition> parts;
  if (!disk.isImage) {
    platform::SystemDisk system;
    system.path = disk.path;
    system.name = disk.name;
    parts = platform.disks->ListPartitions(system);
  }
  if (parts.empty()) {
    CollectFromTable(disk, handle, extents, problems);
  } else {
    std::vector<int> containers = ExtendedContainers(handle);
    std::vector<PartitionEntry> table;
    PartitionTableNotes notes;
    ReadPartitionTable(handle, table, &notes);
    TellNotes(notes, disk, problems);
    for (const platform::SystemPartition& p : parts) {
      bool container = p.number <= 4 && std::find(containers.begin(), containers.end(), p.number) !=
                                            containers.end();
      if (container) continue;
      extents.push_back({disk.path, p.volumePath, p.name, p.startSector, p.sectorCount,
                         TableTypeAt(table, p.startSector)});
    }
  }
  CloseDevice(handle);
  // Attached disks and images alike: by where the volumes lie, not by table slot.
  std::stable_sort(extents.begin(), extents.end(),
                   [](const VolumeExtent& a, const VolumeExtent& b) { return a.startSector < b.startSector; });
  return extents;
}

bool ProbeDriveLetter(const VolumeExtent& extent, const DiskList& disks, VolumeDescriptor& out,
                      const DiscoveryPlatform& platform, UnopenedDevices* unopened) {
  DeviceHandle handle;
  if (extent.volumePath.empty()) {
    if (OpenWindow(platform, extent.diskPath, extent.startSector, extent.sectorCount, handle) != 0) return false;
  } else if (int error = platform.open(extent.volumePath, handle)) {
    KeepUnopened(extent.volumePath, error, unopened);
    return false;
  }
  if (const DiskInfo* disk = FindDisk(disks, extent.diskPath)) handle.sectorSize = disk->sectorSize;
  FillVolumeFromOs(extent, handle, disks, out);
  CloseDevice(handle);
  return true;
}

std::u16string OverwrittenNote(const VolumeDescriptor& volume) {
  if (volume.overwrittenBy.empty()) return u"";
  const std::string fs = ToUtf8(FsKindName(volume.fsKind));
  return TrFormat("%s：%s 所在的区域还写入过另一个文件系统（%s），按 %s 读取", ToUtf8(volume.name).c_str(), fs.c_str(),
                  ToUtf8(volume.overwrittenBy).c_str(), fs.c_str());
}

void FillVolumeFromOs(const VolumeExtent& extent, const DeviceHandle& volumeHandle,
                      const DiskList& disks, VolumeDescriptor& out) {
  out = VolumeDescriptor{};
  out.volumePath = extent.volumePath;
  out.name = extent.name;
  out.startSector = extent.startSector;
  out.sectorCount = extent.sectorCount;
  const DiskInfo* disk = FindDisk(disks, extent.diskPath);
  if (disk == nullptr) return;
  out.diskPath = disk->path;
  out.diskDescription = disk->description;
  out.diskSectors = disk->sectorCount;
  out.sectorSize = disk->sectorSize;
  out.removable = disk->removable ? 1 : 0;

  // Encrypted: the platform may name the cover FAT volume of BitLocker To Go,
  // which is none of the user's data.
  std::array<std::uint8_t, kSectorSize> first{};
  if (ReadSectors(volumeHandle, first, 0, 1) && IsBitLockerBootSector(first)) {
    out.fsKind = kFsBitLocker;
    out.fsName = kBitLockerFsName;
    out.label = kDefaultLabel;
    out.partitionType = extent.partitionType;
    out.bootSector = first;
    return;
  }
  PlatformVolumeInfo info;
  if (!ProbePlatformVolume(volumeHandle, 0, extent.sectorCount, info)) {
    // Unsure (two signatures) or silent: the volume's own boot sector decides,
    // and the table's type byte stays what the table says.
    AdoptProbedVolume(out, volumeHandle, extent.partitionType);  // FsKind stays 0 unless a boot sector is found
    if (extent.partitionType != 0 && TypeFitsKind(extent.partitionType, out.fsKind)) {
      out.partitionType = extent.partitionType;
    }
    if (out.fsKind != kFsUnknown) out.overwrittenBy = OtherClaimants(info.claimants, out.fsKind);
    return;
  }
  out.label = info.label.empty() ? Tr(kDefaultLabel) : info.label;
  out.readerState.serial = info.serial;
  out.fsName = info.fsName;
  ClassifyFsName(out.fsName, out);
  if (out.fsKind != kFsUnknown && !ReadSectors(volumeHandle, out.bootSector, 0, 1)) {
    // The first sector will not read: a backup copy of the same kind will do.
    FsKind probed = kFsUnknown;
    if (!ProbeBootSector(volumeHandle, out, probed) || probed != out.fsKind) {
      out.fsKind = kFsUnknown;
      out.partitionType = 0;
    }
  }
}

void VolumeListThread(VolumeListRequest& request) {
  BeginWorker("DiskFileScanReadThread");
  DiskList disks;
  if (!EnumerateDisks(request.selection, disks, &request.problems, &request.unopened) &&
      request.unopened.empty()) {
    RequestAbort();
    EndWorker("DiskFileScanReadThread");
    return;
  }
  StatusMessage message;
  message.kind = StatusKind::kVolumeFound;
  for (const DiskInfo& disk : disks) {
    for (const VolumeExtent& extent : CollectVolumeExtents(disk, &request.problems, request.selection.platform)) {
      if (AbortRequested()) break;
      VolumeDescriptor volume;
      if (!ProbeDriveLetter(extent, disks, volume, request.selection.platform, &request.unopened)) continue;
      if (!volume.overwrittenBy.empty()) request.problems.push_back(OverwrittenNote(volume));
      request.volumes.push_back(volume);
      ++message.volume.volumesFound;
      CopyFixedText(message.volume.volumeName, volume.name);
      CopyFixedText(message.volume.fsName, volume.fsName);
      CopyFixedText(message.volume.label, volume.label);
      PostStatus(message);
    }
  }
  RequestFinish();
  EndWorker("DiskFileScanReadThread");
}

}  // namespace kestrum
