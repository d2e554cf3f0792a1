#pragma once
// The result of a lost-partition scan kept in a file, so that the command
// line can scan once and rebuild later. It names the disk it belongs to
// (path, description, size) and is refused for any other.
//
//   magic "KFP2" | disk sector count (64) | disk path | disk description | record count
//   per record:  start (64) | end (64) | sector count (64) | kind | data state |
//                512-byte boot sector
//
// Sector numbers are 64-bit counts of 512-byte units, every other count
// 32-bit, all little-endian; texts UTF-16LE after their length in bytes.
// "KFP1", the form before, kept sector numbers in 32 bits: it is refused.

#include <string>
#include <vector>

#include "base/byte_order.h"

#include "disk/volume_descriptor.h"
#include "repair/found_partition.h"

namespace kestrum::repair {

namespace found_file {
constexpr char kMagic[] = "KFP2";
constexpr char kOldMagic[] = "KFP1";
constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kMaxTextBytes = 8192;
}  // namespace found_file

struct FoundPartitionFile {
  Sector64 diskSectors = 0;
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
// False for a missing file, another magic, an old form or a damaged file,
// with the reason in `error`.
bool LoadFoundPartitions(const std::string& path, FoundPartitionFile& out, std::u16string& error);
// Whether the file was made from this disk.
bool BelongsTo(const FoundPartitionFile& file, const VolumeDescriptor& disk);

}  // namespace kestrum::repair
