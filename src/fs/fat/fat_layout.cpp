#include "fs/fat/fat_layout.h"

#include <algorithm>

#include "disk/volume_descriptor.h"

namespace kestrum {

bool FatGeometry::IsReadable() const {
  if (!HasDataArea()) return false;
  return fat32 ? IsValidCluster(rootCluster) : rootDirSectors != 0;
}

std::uint32_t FatSectorUnits(ByteView bootSector) {
  const std::uint32_t bytes = ReadLe16(bootSector, fatboot::kBytesPerSector);
  if (bytes == 0) return 1;
  if (bytes != 512 && bytes != 1024 && bytes != 2048 && bytes != 4096) return 0;
  return bytes / kSectorSize;
}

std::uint64_t FatVolumeSectors(ByteView bootSector) {
  std::uint64_t total = ReadLe32(bootSector, fatboot::kTotalSectors32);
  if (total == 0) total = ReadLe16(bootSector, fatboot::kTotalSectors16);
  return total * FatSectorUnits(bootSector);
}

FatGeometry FatGeometryOf(ByteView bootSector, Sector64 start, bool fat32) {
  FatGeometry g;
  g.fat32 = fat32;
  g.start = start;
  // Every count below is of the volume's own sectors; an unknown sector
  // size leaves no cluster size, and so no data area.
  const std::uint32_t units = FatSectorUnits(bootSector);
  g.sectorsPerCluster = ReadLe8(bootSector, fatboot::kSectorsPerCluster) * units;
  g.reservedSectors = ReadLe16(bootSector, fatboot::kReservedSectors) * units;
  g.fatCount = ReadLe8(bootSector, fatboot::kFatCount);
  g.rootEntryCount = ReadLe16(bootSector, fatboot::kRootEntryCount);
  std::uint32_t fat16Size = ReadLe16(bootSector, fatboot::kFatSize16);
  g.fatSectors = std::uint64_t{fat16Size != 0 ? fat16Size : ReadLe32(bootSector, fatboot::kFatSize32)} * units;
  // Volumes under 32 MiB keep their size in the 16-bit field and leave the
  // 32-bit one 0.
  g.totalSectors = FatVolumeSectors(bootSector);
  g.rootCluster = ReadLe32(bootSector, fatboot::kRootCluster);
  // The root region fills whole sectors of the volume's size.
  const std::uint64_t sectorBytes = std::uint64_t{units == 0 ? 1 : units} * kSectorSize;
  g.rootDirSectors = static_cast<std::uint32_t>(
      (std::uint64_t{g.rootEntryCount} * fatdir::kEntrySize + sectorBytes - 1) / sectorBytes * units);
  if (fat32) g.rootDirSectors = 0;

  g.firstFatSector = start + g.reservedSectors;
  g.rootDirSector = g.firstFatSector + Sector64{g.fatCount} * g.fatSectors;
  g.firstDataSector = g.rootDirSector + g.rootDirSectors;
  Sector64 end = start + g.totalSectors;
  if (g.sectorsPerCluster != 0 && end > g.firstDataSector) {
    Sector64 clusters = (end - g.firstDataSector) / g.sectorsPerCluster;
    // Cluster numbers past these are the FAT's own marks, not data.
    clusters = std::min<Sector64>(clusters, fat32 ? kFat32MaxClusters : kFat16MaxClusters);
    g.clusterCount = static_cast<std::uint32_t>(clusters);
  }
  g.width = fat32 ? kFat32 : g.clusterCount < kFat12MaxClusters ? kFat12 : kFat16;
  return g;
}

bool IsFat32Volume(const VolumeDescriptor& volume) {
  if (volume.fsKind == kFsFat16) return false;
  if (volume.fsKind == kFsFat32) return true;
  return ReadLe16(volume.bootSector, fatboot::kFatSize16) == 0;
}

FatGeometry FatGeometryOf(const VolumeDescriptor& volume) {
  return FatGeometryOf(volume.bootSector, volume.startSector, IsFat32Volume(volume));
}

}  // namespace kestrum
