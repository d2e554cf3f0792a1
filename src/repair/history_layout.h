#pragma once
// The repair history file FixPartTable.dat: integers little-endian, texts
// UTF-16LE after their length in bytes.
//
//   magic "VRN2" | device count (32)
//   per device:  description length (32) | description | record count (32)
//   per record:  time length (32) | time | piece count (32)
//   per piece:   first sector (64, 512-byte units) | byte count (32, whole
//                512-byte units) | the old contents
//
// A piece is a run of whole device sectors (one 4096-byte sector, or a GPT
// entry array), so one record holds every place a rebuild overwrites.
//
// The form written before, magic "VRN1", is still read (and undone):
//
//   per record:  time length | time | sector count
//   per sector:  sector number (32) | 512 bytes of old contents
//
// with every integer 32-bit. Bytes after the last device entry are ignored.

#include <cstddef>
#include <cstdint>

namespace kestrum::repair::history_file {

constexpr char kMagic[] = "VRN2";
constexpr char kOldMagic[] = "VRN1";
constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kDeviceCount = 4;  // right after the magic
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kCountSize = 4;    // every count and length field
constexpr std::size_t kMaxTextBytes = 510;  // 255 UTF-16 characters
// No table place a rebuild overwrites is larger (a GPT entry array is
// 16 KiB); a larger piece is damage.
constexpr std::size_t kMaxPieceBytes = 1 << 20;

constexpr char kFileName[] = "FixPartTable.dat";

}  // namespace kestrum::repair::history_file
