#pragma once
// One partition or volume: where it lies, what file system it holds, its boot
// sector, and (once read) the tree and cached tables of its reader. A plain
// value; copies share the tree rather than duplicate it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/read_health.h"
#include "disk/sector.h"

namespace kestrum {

struct NodeArray;  // the recovered file tree (fs/)
struct DeletedClusters;  // the free clusters shared out among deleted FAT entries (fs/fat)
struct MftRecordMap;     // where an NTFS volume's records lie (fs/ntfs)

enum FsKind : std::int32_t {
  kFsUnknown = 0,
  kFsExfat = 4,
  kFsFat16 = 10,
  kFsFat32 = 11,
  kFsNtfs = 13,
  kFsScanArea = 14,    // a whole area handed to a deep scan, or files found by content
  kFsRebuiltFat = 15,  // FAT volume rebuilt from directory sectors
  kFsRebuiltExfat = 16,
  kFsBitLocker = 17,  // encrypted: nothing to read until Windows unlocks it
};

// How a deep scan found a volume of its results.
enum class FoundBy : std::uint8_t {
  kNotScanned,  // listed by discovery or opened directly
  kSignatures,  // the volume of files found by content
  kPartitionTable,
  kBootSector,
  kBackupBootSector,
  kMftRun,
  kFatDirectories,
  kExfatEntries,
  kMftRecords,
};

// The name `scan --json` prints: "signatures", "partitionTable", …; empty
// for kNotScanned.
const char* FoundByName(FoundBy how);

// What a reader keeps with its volume after reading it.
struct ReaderState {
  std::shared_ptr<NodeArray> nodes;
  std::shared_ptr<const std::vector<std::uint8_t>> fat;     // cached allocation table
  std::shared_ptr<const std::vector<std::uint8_t>> bitmap;  // cached exFAT allocation bitmap
  std::shared_ptr<const DeletedClusters> deletedClusters;   // FAT: where each deleted file's content is
  std::shared_ptr<const MftRecordMap> mftRecords;           // NTFS: the records resident content is read from
  std::uint32_t serial = 0;                                 // volume serial number
  ReaderLoss loss;  // what the reading could not read (a failing disk)
};

struct VolumeDescriptor {
  std::int32_t activeFlag = 0;  // its table entry was marked active (0x80)
  std::int32_t entryClass = 0;  // 0 discovery/rebuild, 1 extended entry, 2 data entry
  std::uint8_t partitionType = 0;
  FsKind fsKind = kFsUnknown;
  Sector64 startSector = 0;
  Sector64 sectorCount = 0;
  Sector64 diskSectors = 0;
  // Its disk's logical sector size in bytes (the numbers above stay 512-byte units).
  std::uint32_t sectorSize = kSectorSize;
  std::int32_t removable = 0;
  std::array<std::uint8_t, kSectorSize> bootSector{};
  ReaderState readerState;
  std::u16string diskDescription;
  std::u16string diskPath;    // what readers open
  std::u16string volumePath;  // the partition's own device, empty for image partitions
  std::u16string name;        // shown where a drive letter would be: "sda1", "disk.img#2"
  std::u16string label;
  std::u16string fsName;
  // Another file system the platform found written over this one ("ext2"),
  // read past: the volume is read as its own boot sector says.
  std::u16string overwrittenBy;
  FoundBy foundBy = FoundBy::kNotScanned;
};

using VolumeList = std::vector<VolumeDescriptor>;

// The sector count of a volume rebuilt from scan findings whose size
// nothing tells: it is read up to its disk's end.
constexpr Sector64 kUnknownVolumeSectors = 0xFFFFFFFF;

// The label shown for a volume the system names without a label.
inline constexpr char16_t kDefaultLabel[] = u"本地磁盘";

// The file-system name the platform reports → FsKind and partition type.
// Unknown names leave both 0.
void ClassifyFsName(const std::u16string& fsName, VolumeDescriptor& volume);

// Sets readerState.serial from the boot sector, at the offset the partition type implies.
void SerialFromBootSector(VolumeDescriptor& volume);

// The short name of the volume's file system as the device page shows it.
std::u16string FsKindName(FsKind kind);

}  // namespace kestrum
