#include "fs/fat/fat_layout.h"

#include <algorithm>

#include "disk/volume_descriptor.h"

namespace kestrum {

bool FatGeometry::IsReadable() const {
  if (!HasDataArea()) return false;
  return fat32 ? IsValidCluster(rootCluster) : rootDirSectors != 0;
}

FatGeometry FatGeometryOf(ByteView bootSector, Sector64 start, bool fat32) {
  FatGeometry g;
  g.fat32 = fat32;
  g.start = start;
  g.sectorsPerCluster = ReadLe8(bootSector, fatboot::kSectorsPerCluster);
  g.reservedSectors = ReadLe16(bootSector, fatboot::kReservedSectors);
  g.fatCount = ReadLe8(bootSector, fatboot::kFatCount);
  g.rootEntryCount = ReadLe16(bootSector, fatboot::kRootEntryCount);
  std::uint32_t fat16Size = ReadLe16(bootSector, fatboot::kFatSize16);
  g.fatSectors = fat16Size != 0 ? fat16Size : ReadLe32(bootSector, fatboot::kFatSize32);
  // Volumes under 32 MiB keep their size in the 16-bit field and leave the
  // 32-bit one 0.
  g.totalSectors = ReadLe32(bootSector, fatboot::kTotalSectors32);
  if (g.totalSectors == 0) g.totalSectors = ReadLe16(bootSector, fatboot::kTotalSectors16);
  g.rootCluster = ReadLe32(bootSector, fatboot::kRootCluster);
  g.rootDirSectors = static_cast<std::uint32_t>(
      (std::uint64_t{g.rootEntryCount} * fatdir::kEntrySize + kSectorSize - 1) / kSectorSize);
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
