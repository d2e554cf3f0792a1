#pragma once
// Where a sparse image file holds data. A file system answers SEEK_DATA and
// SEEK_HOLE for a regular file; its holes read as zeros, so a reader that
// only wants what is there need not read them. Block devices (and files
// whose file system cannot tell) are all data.

#include <cstdint>
#include <span>
#include <vector>

#include "disk/device.h"

namespace kestrum {

struct SectorRun {
  Sector64 first = 0;
  Sector64 count = 0;
};

// The runs of [first, first + count) of the device (its own sector
// numbers, a window's included) that may hold data, in order; sectors only
// partly data count whole. Empty when the range is one hole.
std::vector<SectorRun> DataRuns(const DeviceHandle& device, Sector64 first, Sector64 count);

enum class BlockContent { kHole, kData };

// Reads the range as ReadSectorsMapped does, but only its data runs: the
// rest is zero without a read. kHole (the buffer left as it was) when the
// range holds no data at all: it reads as zeros, and the caller may skip it.
BlockContent ReadSectorsSkippingHoles(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 first,
                                      std::uint32_t count);

}  // namespace kestrum
