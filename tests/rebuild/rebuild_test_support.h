#pragma once
// What the rebuild tests share: damaging a copy of a fixture image, and the
// whole-area search of it that the deep scan's finish step performs.

#include <cstdint>
#include <map>
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

// Where each directory entry of a FAT or exFAT volume image lies, as The
// Sleuth Kit places it: its inode numbers count the 32-byte slots from the
// first sector of the data area (the cluster heap on exFAT).
struct EntryPlace {
  std::uint64_t inode = 0;
  std::uint64_t sector = 0;  // of the entry (the short entry, the file entry)
  unsigned slot = 0;         // 0–15 within that sector
};
struct EntryLayout {
  std::uint64_t dataStart = 0;  // first sector of the data area
  std::map<std::string, EntryPlace> entries;  // by path, live entries only
  // The first sector of a folder's own contents (`istat`).
  std::uint64_t FirstSectorOf(const std::string& image, const std::string& folder) const;
};
EntryLayout TskEntryLayout(const std::string& image);

}  // namespace kestrum::test
