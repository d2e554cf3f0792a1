#pragma once
// FAT12, FAT16 and FAT32 on disk: the boot-sector fields the reader uses, the
// 32-byte directory entry and the long-name entry as named offsets, and the
// geometry derived from a boot sector (where the FATs, the root and the
// clusters lie, and how wide a FAT entry is).

#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"
#include "disk/sector.h"

namespace kestrum {

struct VolumeDescriptor;

// The BIOS parameter block of a FAT boot sector. Its counts are in the
// volume's own sectors of kBytesPerSector bytes.
namespace fatboot {
constexpr std::size_t kBytesPerSector = 11;     // 16 bits: 512, 1024, 2048 or 4096
constexpr std::size_t kSectorsPerCluster = 13;  // 8 bits
constexpr std::size_t kReservedSectors = 14;    // 16 bits
constexpr std::size_t kFatCount = 16;           // 8 bits
constexpr std::size_t kRootEntryCount = 17;     // 16 bits; 0 on FAT32
constexpr std::size_t kTotalSectors16 = 19;     // 16 bits; 0 when the 32-bit total is used
constexpr std::size_t kMedia = 21;              // 8 bits: F8 fixed disk, F0 floppy
constexpr std::size_t kFatSize16 = 22;          // 16 bits; 0 on FAT32
constexpr std::size_t kTotalSectors32 = 32;     // 32 bits
constexpr std::size_t kFatSize32 = 36;          // 32 bits (FAT32)
constexpr std::size_t kRootCluster = 44;        // 32 bits (FAT32)
constexpr std::uint32_t kBackupBootSector = 6;  // FAT32: the copy, in the volume's sectors
}  // namespace fatboot

// 512-byte units in one of the volume's sectors: 1, 2, 4 or 8; 1 for a boot
// sector that names no size (one the program made for a rebuilt volume), 0
// for a size FAT does not have.
std::uint32_t FatSectorUnits(ByteView bootSector);
// The boot sector's count of the volume's sectors (the 32-bit field, or the
// 16-bit one on small volumes), in 512-byte units.
std::uint64_t FatVolumeSectors(ByteView bootSector);
// Where the FAT32 backup boot sector lies, in 512-byte units from the volume's start.
inline std::uint64_t FatBackupBootOffset(ByteView bootSector) {
  return std::uint64_t{fatboot::kBackupBootSector} * FatSectorUnits(bootSector);
}

// One 32-byte directory entry.
namespace fatdir {
constexpr std::size_t kEntrySize = 32;
constexpr std::size_t kName = 0;  // 8 bytes, space-padded
constexpr std::size_t kNameLength = 8;
constexpr std::size_t kExtension = 8;  // 3 bytes, space-padded
constexpr std::size_t kExtensionLength = 3;
constexpr std::size_t kShortNameLength = 11;  // name and extension, as the checksum sees them
constexpr std::size_t kAttribute = 11;
constexpr std::size_t kCaseFlags = 12;  // lower-case name and extension, as Windows NT writes them
constexpr std::size_t kCreationTime = 14;
constexpr std::size_t kCreationDate = 16;
constexpr std::size_t kClusterHigh = 20;  // FAT32 only
constexpr std::size_t kWriteTime = 22;
constexpr std::size_t kWriteDate = 24;
constexpr std::size_t kClusterLow = 26;
constexpr std::size_t kSize = 28;  // 32 bits

constexpr std::uint8_t kEndOfDirectory = 0x00;  // first name byte: no entries follow
constexpr std::uint8_t kDeleted = 0xE5;         // first name byte of a deleted entry
constexpr std::uint8_t kE5Substitute = 0x05;      // first name byte of a name that starts with E5

constexpr std::uint8_t kAttrVolumeLabel = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kAttrLongName = 0x0F;

constexpr std::uint8_t kLowerCaseName = 0x08;
constexpr std::uint8_t kLowerCaseExtension = 0x10;
}  // namespace fatdir

// A long-name entry (attribute 0x0F): 13 UTF-16 characters of the name each.
namespace fatlfn {
constexpr std::size_t kOrdinal = 0;
constexpr std::uint8_t kLastEntryFlag = 0x40;  // the last part of the name, stored first
constexpr std::size_t kChecksum = 13;
constexpr std::size_t kChars1 = 1;  // 5 characters
constexpr std::size_t kChars1Count = 5;
constexpr std::size_t kChars2 = 14;  // 6 characters
constexpr std::size_t kChars2Count = 6;
constexpr std::size_t kChars3 = 28;  // 2 characters
constexpr std::size_t kChars3Count = 2;
constexpr std::size_t kCharsPerEntry = 13;
constexpr std::size_t kMaxEntries = 20;  // 260 characters
}  // namespace fatlfn

// Clusters 0 and 1 are reserved; the largest cluster numbers each FAT width
// can give to data (the values above are bad-cluster and end-of-chain marks).
constexpr std::uint32_t kFirstDataCluster = 2;
constexpr std::uint32_t kFat12MaxClusters = 0xFF5;
constexpr std::uint32_t kFat16MaxClusters = 0xFFF5;
constexpr std::uint32_t kFat32MaxClusters = 0x0FFFFFF5;

// A directory never holds more than 65536 entries: a chain longer than that
// is damage, and reading it on would only pull garbage into memory.
constexpr std::size_t kMaxDirectoryBytes = 65536 * fatdir::kEntrySize;

// The width of one FAT entry. A volume without a 32-bit FAT has 12-bit
// entries when it has fewer than 4085 clusters, whatever its boot sector's
// type text says: the cluster count alone decides.
enum FatWidth : std::uint8_t { kFat12 = 12, kFat16 = 16, kFat32 = 32 };

// Where things lie on a FAT volume, in absolute 512-byte units of the disk:
// the boot sector's counts of its own sectors, scaled.
struct FatGeometry {
  bool fat32 = false;
  FatWidth width = kFat16;
  Sector64 start = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t reservedSectors = 0;
  std::uint32_t fatCount = 0;
  std::uint32_t rootEntryCount = 0;
  std::uint64_t fatSectors = 0;    // F: one copy of the FAT
  std::uint64_t totalSectors = 0;  // of the volume, from the boot sector
  std::uint32_t rootCluster = 0;   // FAT32
  std::uint32_t rootDirSectors = 0;  // FAT16 root region; 0 on FAT32
  Sector64 firstFatSector = 0;       // start + reserved
  Sector64 rootDirSector = 0;        // FAT16 root region: after the FATs
  Sector64 firstDataSector = 0;      // D: cluster 2
  std::uint32_t clusterCount = 0;    // N: valid clusters are 2 … N + 1

  std::uint32_t ClusterBytes() const { return sectorsPerCluster * kSectorSize; }
  bool IsValidCluster(std::uint32_t cluster) const {
    return cluster >= kFirstDataCluster && cluster - kFirstDataCluster < clusterCount;
  }
  Sector64 ClusterSector(std::uint32_t cluster) const {
    return firstDataSector + Sector64{cluster - kFirstDataCluster} * sectorsPerCluster;
  }
  // Whether the boot sector places the FAT and the clusters at all: a zero
  // cluster size, FAT size or FAT count, or no room for a single cluster,
  // leaves nothing that could be read.
  bool HasDataArea() const {
    return sectorsPerCluster != 0 && fatSectors != 0 && fatCount != 0 && clusterCount != 0;
  }
  // The data area, and a root directory that can be found (FAT16: a root
  // region; FAT32: a valid root cluster).
  bool IsReadable() const;
};

// The geometry a boot sector describes for a volume starting at `start`.
FatGeometry FatGeometryOf(ByteView bootSector, Sector64 start, bool fat32);
// The same for a descriptor: its boot-sector copy, start sector and kind.
FatGeometry FatGeometryOf(const VolumeDescriptor& volume);
// Whether the volume's FAT entries are 32-bit and its directory entries keep
// a cluster high word: kind 11 yes, kind 10 no; any other kind (a rebuilt
// volume, a boot sector found by a scan) goes by the 16-bit FAT size, 0 on FAT32.
bool IsFat32Volume(const VolumeDescriptor& volume);

}  // namespace kestrum
