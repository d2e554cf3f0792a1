#pragma once
// The GUID partition table on disk: the header (at LBA 1, and its backup at
// the disk's last LBA), the entry array it points at, and the protective MBR
// in front of both. LBAs count the disk's logical sectors; every field is
// little-endian.

#include <cstddef>
#include <cstdint>

namespace kestrum::gpt {

namespace header {
constexpr std::size_t kSignature = 0;        // "EFI PART"
constexpr std::size_t kRevision = 8;         // 32 bits, 0x00010000 for 1.0
constexpr std::size_t kHeaderSize = 12;      // 32 bits, bytes the header CRC covers
constexpr std::size_t kHeaderCrc = 16;       // 32 bits, computed with this field zero
constexpr std::size_t kReserved = 20;        // 32 bits, zero
constexpr std::size_t kMyLba = 24;           // 64 bits, where this header lies
constexpr std::size_t kAlternateLba = 32;    // 64 bits, where the other header lies
constexpr std::size_t kFirstUsableLba = 40;  // 64 bits
constexpr std::size_t kLastUsableLba = 48;   // 64 bits, inclusive
constexpr std::size_t kDiskGuid = 56;        // 16 bytes
constexpr std::size_t kEntriesLba = 72;      // 64 bits, first sector of the entry array
constexpr std::size_t kEntryCount = 80;      // 32 bits
constexpr std::size_t kEntrySize = 84;       // 32 bits, 128 × 2^n
constexpr std::size_t kEntriesCrc = 88;      // 32 bits, over count × size bytes
constexpr std::size_t kSize = 92;            // the header proper; the rest of its sector is zero

constexpr char kSignatureText[] = "EFI PART";
constexpr std::uint32_t kRevision1 = 0x00010000;
}  // namespace header

namespace entry {
constexpr std::size_t kTypeGuid = 0;     // 16 bytes; all zero: the entry is unused
constexpr std::size_t kUniqueGuid = 16;  // 16 bytes
constexpr std::size_t kFirstLba = 32;    // 64 bits
constexpr std::size_t kLastLba = 40;     // 64 bits, inclusive
constexpr std::size_t kAttributes = 48;  // 64 bits
constexpr std::size_t kName = 56;        // 36 UTF-16LE units, zero-padded
constexpr std::size_t kNameUnits = 36;
constexpr std::size_t kMinSize = 128;
}  // namespace entry

constexpr std::uint64_t kPrimaryHeaderLba = 1;
// What a new table holds: 128 entries of 128 bytes, 16 KiB, as every
// partitioning tool writes it.
constexpr std::uint32_t kDefaultEntryCount = 128;
constexpr std::uint32_t kDefaultEntrySize = 128;
// Bounds on what a header may ask for, so a hostile count or size can never
// make the reader allocate or read without limit: entries up to 4 KiB each,
// arrays up to 4 MiB.
constexpr std::uint32_t kMaxEntrySize = 4096;
constexpr std::uint64_t kMaxEntryArrayBytes = std::uint64_t{4} << 20;

// "Basic data": NTFS, FAT and exFAT volumes.
constexpr char kBasicDataType[] = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";

}  // namespace kestrum::gpt
