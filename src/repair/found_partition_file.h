#pragma once
// The result of a lost-partition scan kept in a file, so that the command
// line can scan once and rebuild later. It names the disk it belongs to
// (path, description, size) and is refused for any other.
//
//   magic "KFP1" | disk sector count | disk path | disk description | record count
//   per record:  start | end | sector count | kind | data state | 512-byte boot sector
//
// All counts 32-bit little-endian, texts UTF-16LE after their length in bytes.

#include <string>
#include <vector>

#include "base/byte_order.h"

#include "disk/volume_descriptor.h"
#include "repair/found_partition.h"

namespace kestrum::repair {

namespace found_file {
constexpr char kMagic[] = "KFP1";
constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kMaxTextBytes = 8192;
}  // namespace found_file

struct FoundPartitionFile {
  Sector32 diskSectors = 0;
  std::u16string diskPath;
  std::u16string diskDescription;
  FoundPartitionList found;
};

// Pure: false when a text is longer than the format holds.
bool SerializeFoundPartitions(const FoundPartitionFile& file, std::vector<std::uint8_t>& out);
// Pure: false for another magic, counts or lengths past the end, or a record
// no scan could have produced; `out` is then empty.
bool ParseFoundPartitions(ByteView bytes, FoundPartitionFile& out);
bool SaveFoundPartitions(const std::string& path, const FoundPartitionFile& file);
// False for a missing file, another magic, or a damaged one.
bool LoadFoundPartitions(const std::string& path, FoundPartitionFile& out);
// Whether the file was made from this disk.
bool BelongsTo(const FoundPartitionFile& file, const VolumeDescriptor& disk);

}  // namespace kestrum::repair
