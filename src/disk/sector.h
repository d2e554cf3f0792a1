#pragma once
#include <cstdint>

namespace kestrum {

// The unit of every sector number the program keeps, shows and takes:
// 512 bytes, whatever the device's own sector size. Byte offsets are
// sector × 512 in 64 bits.
constexpr std::uint32_t kSectorSize = 512;

// Sector numbers and counts, in records and in reads and writes alike.
using Sector64 = std::uint64_t;

}  // namespace kestrum
