#pragma once
// What the NTFS reader takes from a volume's boot sector: the cluster size,
// the record and index block sizes, where the MFT and its mirror lie, and
// how large the volume is. The boot sector counts in its own sectors of
// kBytesPerSector bytes; everything here is in 512-byte units.

#include <cstdint>

#include "base/byte_order.h"
#include "disk/volume_descriptor.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum::ntfs {

// 512-byte units in one of the volume's sectors: 1, 2, 4 or 8; 1 for a
// boot sector that names no size (one the program made for a rebuilt
// volume), 0 for a size NTFS does not have.
inline std::uint32_t SectorUnits(ByteView bootSector) {
  const std::uint32_t bytes = ReadLe16(bootSector, boot::kBytesPerSector);
  if (bytes == 0) return 1;
  if (bytes != 512 && bytes != 1024 && bytes != 2048 && bytes != 4096) return 0;
  return bytes / kSectorSize;
}

// Sectors per cluster in 512-byte units: the byte's power of two from 1 to
// 128 of the volume's sectors as it stands, or, for clusters above 64 KiB
// (Windows formats up to 2 MiB), a negative exponent: 0xF4 is 2^12. 0 for a
// byte that names no usable cluster size, or a cluster above 2 MiB.
inline std::uint32_t SectorsPerCluster(ByteView bootSector) {
  const std::uint32_t units = SectorUnits(bootSector);
  std::uint32_t spc = ReadLe8(bootSector, boot::kSectorsPerCluster);
  if (spc > boot::kMaxPlainSectorsPerCluster) {
    std::uint32_t shift = 256 - spc;
    if (shift > boot::kMaxClusterShift) return 0;
    spc = std::uint32_t{1} << shift;
  } else if (spc == 0 || (spc & (spc - 1)) != 0) {
    return 0;
  }
  const std::uint64_t sectors = std::uint64_t{spc} * units;
  return sectors <= (std::uint32_t{1} << boot::kMaxClusterShift) ? static_cast<std::uint32_t>(sectors) : 0;
}

// Bytes of a structure given by a clusters-per byte (a FILE record, an
// INDX block): a positive value counts clusters, a negative one is 2^-v
// bytes. 0 when it names nothing.
inline std::uint64_t ClustersByteSize(ByteView bootSector, std::size_t offset) {
  const auto raw = static_cast<std::int8_t>(ReadLe8(bootSector, offset));
  if (raw > 0) return std::uint64_t(raw) * SectorsPerCluster(bootSector) * kSectorSize;
  if (raw < 0 && raw >= -31) return std::uint64_t{1} << -raw;
  return 0;
}

// Bytes of one FILE record: 1024 to 4096, a power of two; 1024 for a boot
// sector that names none (0, as the program's own rebuilt ones); 0 for any
// other size.
inline std::uint32_t RecordBytes(ByteView bootSector) {
  if (ReadLe8(bootSector, boot::kClustersPerRecord) == 0) return kRecordSize;
  const std::uint64_t bytes = ClustersByteSize(bootSector, boot::kClustersPerRecord);
  const bool sane = bytes >= kRecordSize && bytes <= kMaxRecordSize && (bytes & (bytes - 1)) == 0;
  return sane ? static_cast<std::uint32_t>(bytes) : 0;
}

// The record size a reader goes by: the boot sector's, or 1024 when it is
// damaged (as a reader always took it).
inline std::uint32_t RecordBytesOf(const VolumeDescriptor& volume) {
  const std::uint32_t bytes = RecordBytes(ByteView(volume.bootSector));
  return bytes != 0 ? bytes : kRecordSize;
}
inline std::uint32_t RecordSectorsOf(const VolumeDescriptor& volume) { return RecordBytesOf(volume) / kSectorSize; }

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

// The boot sector's own count of the volume's sectors, in 512-byte units
// (the backup boot sector follows them).
inline std::uint64_t BootSectorVolumeSectors(ByteView bootSector) {
  const std::uint64_t total = ReadLe64(bootSector, boot::kTotalSectors);
  const std::uint32_t units = SectorUnits(bootSector);
  return units != 0 && total <= UINT64_MAX / units ? total * units : 0;
}

// The volume's size in sectors: the descriptor's, else the boot sector's
// own count; 0 when neither says.
inline std::uint64_t VolumeSectors(const VolumeDescriptor& volume) {
  if (volume.sectorCount != 0) return volume.sectorCount;
  return BootSectorVolumeSectors(volume.bootSector);
}

// Sectors of one INDX block: from the boot sector when it names a sane
// size, else 4 KiB; never more than 64 KiB.
inline std::uint32_t IndexBlockSectors(const VolumeDescriptor& volume) {
  std::uint64_t sectors = ClustersByteSize(volume.bootSector, boot::kClustersPerIndexBlock) / kSectorSize;
  if (sectors == 0 || sectors > indx::kMaxBlockSectors) sectors = indx::kDefaultBlockSectors;
  return static_cast<std::uint32_t>(sectors);
}

}  // namespace kestrum::ntfs
