#pragma once
// A small GPT disk made by sfdisk, with a FAT16 and a FAT32 partition made
// by mkfs.vfat and a file in each (mtools), for the tests of reading and
// repairing GUID partition tables.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrum::test {

struct GptDisk {
  struct Partition {
    std::uint64_t start = 0, size = 0;  // sectors
    std::string fsName;                 // as `volumes` names it
    std::string file, content;          // the file written into it
  };
  std::string image;
  std::uint64_t sectors = 0;
  std::vector<Partition> partitions;
};

// Builds it in `dir`; false (with the test failed) when a tool is missing.
bool MakeGptDisk(const std::string& dir, GptDisk& out);

// A partition as `sfdisk --json` shows it.
struct SfdiskSeen {
  std::uint64_t start = 0, size = 0;
  std::string type;
  bool operator==(const SfdiskSeen&) const = default;
};
// What sfdisk makes of an image's GPT, and whether `sfdisk --verify` finds
// it clean.
std::vector<SfdiskSeen> SfdiskGpt(const std::string& image, bool& clean);
// The disk's partitions as sfdisk saw them when it made them.
std::vector<SfdiskSeen> Made(const GptDisk& disk);

// Zeroes `count` sectors from `sector` of the image in place.
void ZeroSectors(const std::string& image, std::uint64_t sector, std::uint64_t count = 1);

}  // namespace kestrum::test
