#pragma once
// What the rebuild tests share: damaging a copy of a fixture image, and the
// whole-area search of it that the deep scan's finish step performs.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/volume_descriptor.h"

namespace kestrum::test {

struct SectorRange {
  std::uint64_t first = 0;
  std::uint64_t count = 0;
};

// Writes zeros over each range of the image file.
void ZeroSectors(const std::string& image, const std::vector<SectorRange>& ranges);

// Every sector of the image classified, extents assigned, and the volumes
// rebuilt from the findings, as a whole-disk search of it ends.
VolumeList ScanAndRebuild(const std::string& image);

// One line per volume: start, kind, how it was found, node count.
std::string Describe(const VolumeList& volumes);

}  // namespace kestrum::test
