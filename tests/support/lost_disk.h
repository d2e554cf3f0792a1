#pragma once
// Disks that lost their partition tables: a copy of the fixture disk whose
// MBR and EBRs were zeroed from the first entry on (boot code kept), with
// the partitions sfdisk saw before, for comparing after a rebuild.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrum::test {

struct DumpedPartition {
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  unsigned type = 0;
  bool operator==(const DumpedPartition&) const = default;
};

// The data partitions of `sfdisk --dump` (extended containers left out).
std::vector<DumpedPartition> SfdiskPartitions(const std::string& image);

struct LostDisk {
  std::string image;
  std::vector<DumpedPartition> original;
  std::vector<std::string> manifests;  // per original partition, in order
};

// In `dir`: disk.img with FAT32 typed 0x0B (the type a rebuild writes),
// either with its logical partitions or with the extended partition deleted
// from the table (primaries only; the logical volumes' data stay on disk).
LostDisk MakeLostDisk(const std::string& dir, bool withLogicals);

}  // namespace kestrum::test
