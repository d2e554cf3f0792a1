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

// Reads ranges of one device as ReadSectorsMapped does, but only their data
// runs: the rest is zero without a read. A reader that walks a large sparse
// image block by block asks the file system once per hole or data run, not
// once per block: it remembers the last hole and data run it was told of.
class HoleSkippingReader {
 public:
  explicit HoleSkippingReader(const DeviceHandle& device);
  // Whether the range holds no data at all: it reads as zeros.
  bool IsHole(Sector64 first, std::uint32_t count);
  // kHole (the buffer left as it was) when IsHole, else the range read.
  BlockContent Read(std::span<std::uint8_t> buffer, Sector64 first, std::uint32_t count);

 private:
  bool InKnownData(Sector64 first, std::uint32_t count) const {
    return first >= dataFirst_ && first + count <= dataEnd_;
  }

  const DeviceHandle& device_;
  bool regular_ = false;
  // [holeFirst_, holeEnd_): sectors known to be one hole; [dataFirst_,
  // dataEnd_): sectors known to hold data without a hole.
  Sector64 holeFirst_ = 0;
  Sector64 holeEnd_ = 0;
  Sector64 dataFirst_ = 0;
  Sector64 dataEnd_ = 0;
};

}  // namespace kestrum
