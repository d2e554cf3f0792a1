#pragma once
#include <cstdint>

namespace kestrum {

// The only sector size; byte offsets are sector × 512 in 64 bits.
constexpr std::uint32_t kSectorSize = 512;

// Sector numbers kept in records (descriptors, nodes, findings) are 32-bit,
// so disks and volumes reach 2^32 sectors (2 TiB). Widening is this one edit.
using Sector32 = std::uint32_t;
// Reads and writes take 64-bit sector numbers.
using Sector64 = std::uint64_t;

constexpr std::uint64_t kMaxRecordSectors = std::uint64_t{1} << 32;

inline bool FitsSector32(std::uint64_t sectors) { return sectors < kMaxRecordSectors; }

}  // namespace kestrum
