#pragma once
// The repair history file FixPartTable.dat: every integer 32-bit
// little-endian, every text UTF-16LE after its length in bytes.
//
//   magic "VRN1" | device count
//   per device:  description length | description | record count
//   per record:  time length | time | sector count
//   per sector:  sector number | 512 bytes of old contents
//
// Bytes after the last device entry are ignored.

#include <cstddef>
#include <cstdint>

namespace kestrum::repair::history_file {

constexpr char kMagic[] = "VRN1";
constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kDeviceCount = 4;  // right after the magic
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kCountSize = 4;    // every count and length field
constexpr std::size_t kMaxTextBytes = 510;  // 255 UTF-16 characters

constexpr char kFileName[] = "FixPartTable.dat";

}  // namespace kestrum::repair::history_file
