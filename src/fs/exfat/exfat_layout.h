#pragma once
// exFAT on disk: the boot-sector fields the reader uses, the 32-byte
// directory entries by type, and the geometry derived from a boot sector
// (where the FAT and the clusters lie).

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"
#include "disk/sector.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// The main boot sector. Its counts are of the volume's own sectors of
// 2^kSectorShift bytes.
namespace exfatboot {
constexpr std::size_t kFsName = 3;              // 8 bytes, "EXFAT   "
constexpr std::size_t kVolumeLength = 72;       // 64 bits, sectors
constexpr std::size_t kFatOffset = 80;          // 32 bits, sectors from the volume start
constexpr std::size_t kFatLength = 84;          // 32 bits, sectors
constexpr std::size_t kHeapOffset = 88;         // 32 bits, sectors from the volume start
constexpr std::size_t kClusterCount = 92;       // 32 bits
constexpr std::size_t kRootCluster = 96;        // 32 bits
constexpr std::size_t kSectorShift = 108;       // 8 bits: 9 to 12, sectors of 512 to 4096 bytes
constexpr std::size_t kClusterShift = 109;      // 8 bits: sectors per cluster = 2^shift
constexpr std::uint32_t kMinSectorShift = 9;
constexpr std::uint32_t kMaxSectorShift = 12;
// Clusters are at most 32 MiB: 2^16 units of 512 bytes, the two shifts
// together at most 25.
constexpr std::uint32_t kMaxClusterShift = 16;
constexpr std::uint32_t kBackupBootSector = 12;  // the backup boot region, in the volume's sectors
}  // namespace exfatboot

// How many bits a count of the volume's sectors is shifted to make 512-byte
// units (0 for 512-byte sectors, 3 for 4096); 0 for a boot sector that
// names none (one the program made for a rebuilt volume). False for a shift
// exFAT does not have, or clusters above 32 MiB.
inline bool ExfatUnitShift(ByteView bootSector, std::uint32_t& out) {
  std::uint32_t shift = ReadLe8(bootSector, exfatboot::kSectorShift);
  if (shift == 0) shift = exfatboot::kMinSectorShift;
  if (shift < exfatboot::kMinSectorShift || shift > exfatboot::kMaxSectorShift) return false;
  out = shift - exfatboot::kMinSectorShift;
  return ReadLe8(bootSector, exfatboot::kClusterShift) + out <= exfatboot::kMaxClusterShift;
}

// Where the backup boot region begins, in 512-byte units from the volume's start.
inline std::uint64_t ExfatBackupBootOffset(ByteView bootSector) {
  std::uint32_t units = 0;
  return ExfatUnitShift(bootSector, units) ? std::uint64_t{exfatboot::kBackupBootSector} << units : 0;
}

// The volume's length in 512-byte units; 0 when the boot sector names no
// sector size exFAT has.
inline std::uint64_t ExfatVolumeSectors(ByteView bootSector) {
  std::uint32_t units = 0;
  if (!ExfatUnitShift(bootSector, units)) return 0;
  const std::uint64_t length = ReadLe64(bootSector, exfatboot::kVolumeLength);
  return length <= (UINT64_MAX >> units) ? length << units : 0;
}

// A 32-byte directory entry: its type byte and the values of it.
namespace exfatentry {
constexpr std::size_t kSize = 32;
constexpr std::size_t kPerSector = kSectorSize / kSize;
constexpr std::size_t kType = 0;

constexpr std::uint8_t kEndOfDirectory = 0x00;
constexpr std::uint8_t kBitmap = 0x81;
constexpr std::uint8_t kUpcase = 0x82;
constexpr std::uint8_t kLabel = 0x83;
constexpr std::uint8_t kDeletedLabel = 0x03;
constexpr std::uint8_t kFile = 0x85;
constexpr std::uint8_t kDeletedFile = 0x05;
constexpr std::uint8_t kStream = 0xC0;
constexpr std::uint8_t kDeletedStream = 0x40;
constexpr std::uint8_t kName = 0xC1;
constexpr std::uint8_t kDeletedName = 0x41;
// Bit 7 of the type: the entry is in use; deleting an entry clears it.
constexpr std::uint8_t kInUse = 0x80;
// Bit 6: a secondary entry of a set; clear, a primary entry that starts
// one (file, bitmap, up-case, label, GUID, …). Secondaries of a type the
// reader does not know (vendor extension 0xE0, vendor allocation 0xE1) are
// counted and skipped.
constexpr std::uint8_t kSecondary = 0x40;
}  // namespace exfatentry

// The file entry (0x85, deleted 0x05) that opens an entry set.
namespace exfatfile {
constexpr std::size_t kSecondaryCount = 1;  // 8 bits: entries of the set after this one
constexpr std::size_t kAttributes = 4;      // 16 bits
constexpr std::size_t kCreateTime = 8;      // DOS time, 16 bits
constexpr std::size_t kCreateDate = 10;     // DOS date, 16 bits
constexpr std::size_t kModifyTime = 12;
constexpr std::size_t kModifyDate = 14;
constexpr std::uint16_t kAttrDirectory = 0x10;
}  // namespace exfatfile

// The stream extension (0xC0, deleted 0x40): where the content lies.
namespace exfatstream {
constexpr std::size_t kFlags = 1;             // 8 bits, general secondary flags
constexpr std::size_t kNameLength = 3;        // 8 bits, characters of the name
constexpr std::size_t kNameHash = 4;          // 16 bits, over the up-cased name
constexpr std::size_t kValidDataLength = 8;   // 64 bits
constexpr std::size_t kFirstCluster = 20;     // 32 bits
constexpr std::size_t kDataLength = 24;       // 64 bits
// The clusters are contiguous and the FAT holds no chain for them.
constexpr std::uint8_t kNoFatChain = 0x02;
}  // namespace exfatstream

// A file-name entry (0xC1, deleted 0x41): 15 UTF-16 characters.
namespace exfatname {
constexpr std::size_t kChars = 2;
constexpr std::size_t kCharsPerEntry = 15;
// Longer names (damaged sets) are cut here.
constexpr std::size_t kMaxChars = 259;
}  // namespace exfatname

// The allocation-bitmap entry (0x81) of the root directory.
namespace exfatbitmap {
constexpr std::size_t kFirstCluster = 20;  // 32 bits
constexpr std::size_t kLength = 24;        // 64 bits, bytes
}  // namespace exfatbitmap

// The volume-label entry (0x83, deleted 0x03).
namespace exfatlabel {
constexpr std::size_t kCharCount = 1;  // 8 bits
constexpr std::size_t kChars = 2;      // up to 15 UTF-16 characters
constexpr std::size_t kMaxChars = 15;
}  // namespace exfatlabel

// FAT entry values: clusters 0 and 1 hold no data.
constexpr std::uint32_t kExfatFirstCluster = 2;
constexpr std::uint32_t kExfatLastPossibleCluster = 0xFFFFFFF6;
constexpr std::uint32_t kExfatBadCluster = 0xFFFFFFF7;
constexpr std::uint32_t kExfatEndOfChain = 0xFFFFFFFF;
constexpr std::uint32_t kExfatMediaEntry = 0xFFFFFFF8;  // FAT entry 0

// Where a volume's structures lie, from its boot sector.
struct ExfatGeometry {
  // In 512-byte units: the boot sector's counts of the volume's sectors, scaled.
  Sector64 start = 0;  // volume start; 0 with an absolute heap offset (rebuilt volumes)
  std::uint64_t fatOffset = 0;
  std::uint64_t fatLength = 0;
  std::uint64_t heapOffset = 0;
  std::uint32_t clusterCount = 0;  // 0: unknown (rebuilt volumes)
  std::uint32_t rootCluster = 0;
  std::uint32_t clusterShift = 0;  // of 512-byte units
  // A sector size exFAT does not have, or clusters beyond 32 MiB, name no
  // exFAT volume.
  bool valid = false;

  std::uint32_t SectorsPerCluster() const { return std::uint32_t{1} << clusterShift; }
  std::uint64_t ClusterBytes() const { return std::uint64_t{kSectorSize} << clusterShift; }
  // The highest cluster number that holds data: N + 1, or the exFAT maximum
  // when the count is unknown.
  std::uint32_t LastCluster() const {
    if (clusterCount == 0) return kExfatLastPossibleCluster;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{clusterCount} + 1, kExfatLastPossibleCluster));
  }
  bool IsDataCluster(std::uint64_t cluster) const {
    return cluster >= kExfatFirstCluster && cluster <= LastCluster();
  }
  // First sector of a cluster (only meaningful for data clusters).
  Sector64 ClusterSector(std::uint32_t cluster) const {
    return start + heapOffset + (std::uint64_t{cluster} - kExfatFirstCluster) * SectorsPerCluster();
  }
  Sector64 FatSector() const { return start + fatOffset; }
};

inline ExfatGeometry ExfatGeometryOf(ByteView bootSector, Sector64 start) {
  ExfatGeometry g;
  g.start = start;
  std::uint32_t units = 0;
  g.valid = ExfatUnitShift(bootSector, units);
  if (!g.valid) return g;
  g.fatOffset = std::uint64_t{ReadLe32(bootSector, exfatboot::kFatOffset)} << units;
  g.fatLength = std::uint64_t{ReadLe32(bootSector, exfatboot::kFatLength)} << units;
  g.heapOffset = std::uint64_t{ReadLe32(bootSector, exfatboot::kHeapOffset)} << units;
  g.clusterCount = ReadLe32(bootSector, exfatboot::kClusterCount);
  g.rootCluster = ReadLe32(bootSector, exfatboot::kRootCluster);
  g.clusterShift = ReadLe8(bootSector, exfatboot::kClusterShift) + units;
  return g;
}

inline ExfatGeometry ExfatGeometryOf(const VolumeDescriptor& volume) {
  return ExfatGeometryOf(volume.bootSector, volume.startSector);
}

}  // namespace kestrum
