#pragma once
// What the NTFS reader takes from a volume's boot sector: the cluster size,
// where the MFT and its mirror lie, and how large the volume is.

#include <cstdint>

#include "base/byte_order.h"
#include "disk/volume_descriptor.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum::ntfs {

// Sectors per cluster: a power of two from 1 to 128 as it stands, or, for
// clusters above 64 KiB (Windows formats up to 2 MiB), a negative exponent:
// 0xF4 is 2^12 sectors. 0 for a byte that names no usable cluster size.
inline std::uint32_t SectorsPerCluster(ByteView bootSector) {
  std::uint32_t spc = ReadLe8(bootSector, boot::kSectorsPerCluster);
  if (spc > boot::kMaxPlainSectorsPerCluster) {
    std::uint32_t shift = 256 - spc;
    return shift <= boot::kMaxClusterShift ? std::uint32_t{1} << shift : 0;
  }
  return (spc != 0 && (spc & (spc - 1)) == 0) ? spc : 0;
}

inline std::uint32_t SectorsPerCluster(const VolumeDescriptor& volume) {
  return SectorsPerCluster(ByteView(volume.bootSector));
}

// Absolute sector of the MFT's first record, and of the mirror's. 64-bit:
// a damaged boot sector may point anywhere.
inline Sector64 MftSector(const VolumeDescriptor& volume) {
  return Sector64{volume.startSector} +
         Sector64{SectorsPerCluster(volume)} * ReadLe64(volume.bootSector, boot::kMftCluster);
}

inline Sector64 MirrorSector(const VolumeDescriptor& volume) {
  return Sector64{volume.startSector} +
         Sector64{SectorsPerCluster(volume)} * ReadLe64(volume.bootSector, boot::kMirrorCluster);
}

// The volume's size in sectors: the descriptor's, else the boot sector's
// own count; 0 when neither says.
inline std::uint64_t VolumeSectors(const VolumeDescriptor& volume) {
  if (volume.sectorCount != 0) return volume.sectorCount;
  return ReadLe64(volume.bootSector, boot::kTotalSectors);
}

// Sectors of one INDX block: from the boot sector when it names a sane
// size, else 4 KiB; never more than 64 KiB.
inline std::uint32_t IndexBlockSectors(const VolumeDescriptor& volume) {
  auto raw = static_cast<std::int8_t>(ReadLe8(volume.bootSector, boot::kClustersPerIndexBlock));
  std::uint64_t sectors = indx::kDefaultBlockSectors;
  if (raw > 0) {
    sectors = std::uint64_t(raw) * SectorsPerCluster(volume);
  } else if (raw <= -9 && raw >= -16) {
    sectors = (std::uint64_t{1} << -raw) / kSectorSize;
  }
  if (sectors == 0 || sectors > indx::kMaxBlockSectors) sectors = indx::kDefaultBlockSectors;
  return static_cast<std::uint32_t>(sectors);
}

}  // namespace kestrum::ntfs
