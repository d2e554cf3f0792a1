#pragma once
// A device's logical sector size. Sector numbers everywhere stay counts of
// 512-byte units (kSectorSize); the device's own size matters only where
// on-disk structures count in device sectors: partition-table LBAs, and
// table writes, which are of whole device sectors.

#include <cstdint>

#include "disk/sector.h"

namespace kestrum {

constexpr std::uint32_t kMaxDeviceSectorSize = 4096;

// 512, 1024, 2048 or 4096: the sizes disks and their enclosures use.
inline bool IsDeviceSectorSize(std::uint64_t bytes) {
  return bytes >= kSectorSize && bytes <= kMaxDeviceSectorSize && (bytes & (bytes - 1)) == 0;
}

// 512-byte units in one sector of that size (1 for a size that is none).
inline std::uint32_t UnitsPerSector(std::uint32_t sectorSize) {
  return IsDeviceSectorSize(sectorSize) ? sectorSize / kSectorSize : 1;
}

// What a disk or partition device reports; 0 for a file or a failed query.
std::uint32_t QueryLogicalSectorSize(int fd);

}  // namespace kestrum
