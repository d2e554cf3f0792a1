#pragma once
// The scan-state file: a fixed header, then the body as a sequence of
// little-endian fields. Strings are a 32-bit count of UTF-16 units, then the
// units; byte strings a 32-bit count, then the bytes.
//
//   header   magic "KSCS", version, whole file length, checksum of the body
//   device   description, sector count, identity token (bytes)
//   area     start sector (64), sector count (64), disk sectors (64), mode,
//            priority start (64), priority length (64), disk path
//   blocks   first block, last block, next sequential block (64 bits each)
//   map      byte string of block states (0 unread, 2 analysed)
//   priority 32-bit count, then 64-bit block starts
//   store    32-bit range count; per range first (64), last (64), finding
//            count; per finding category, sector (64), wordA, wordB, sector
//            copy (bytes), name (string), data (bytes: the run list; a
//            file an earlier build wrote may hold a resident value, which
//            is dropped when read), data length (16), size (64), allocated
//            size (64), flags (8)
//
// Sector numbers count 512-byte units. Other fields are 32-bit. Version 1
// kept sector numbers in 32 bits; such a file is refused, never misread.

#include <cstddef>
#include <cstdint>

namespace kestrum::statefile {

constexpr char kMagic[] = "KSCS";
constexpr std::uint32_t kVersion = 2;

constexpr std::size_t kMagicOffset = 0;     // 4 bytes
constexpr std::size_t kVersionOffset = 4;   // 32 bits
constexpr std::size_t kLengthOffset = 8;    // 64 bits: the whole file
constexpr std::size_t kChecksumOffset = 16;  // 64 bits: FNV-1a over the body
constexpr std::size_t kBodyOffset = 24;

// Limits a sound file never exceeds; anything above is damage.
constexpr std::uint32_t kMaxNameUnits = 255;
constexpr std::uint32_t kMaxSectorCopy = 512;
constexpr std::uint32_t kMaxFindingData = 1024;
constexpr std::uint32_t kMaxTextUnits = 4096;
constexpr std::uint32_t kMaxTokenBytes = 4096;

}  // namespace kestrum::statefile
