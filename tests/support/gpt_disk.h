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

}  // namespace kestrum::test
