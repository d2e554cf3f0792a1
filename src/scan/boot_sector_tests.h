#pragma once
// Tests of one 512-byte sector for the boot sectors of NTFS, FAT16, FAT32 and
// exFAT, and for a partition table. The deep scan puts them to every sector
// that ends in 55 AA; probing puts them to a volume's boot sector and its
// backup copies. Pure functions of the bytes: a view shorter than a sector
// passes none of them.

#include <cstddef>

#include "base/byte_order.h"

namespace kestrum {

// BIOS parameter block fields the tests look at, beyond what the readers'
// own layouts name.
namespace bpb {
constexpr std::size_t kJump = 0;              // EB xx 90
constexpr std::size_t kJumpNop = 2;
constexpr std::size_t kBytesPerSector = 0x0B;  // 16 bits
constexpr std::size_t kMedia = 0x15;
constexpr std::size_t kSectorsPerTrack = 0x18;  // 16 bits
constexpr std::size_t kHeads = 0x1A;            // 16 bits
constexpr std::size_t kNtfsClustersPerRecord = 0x40;  // signed: F6 is 2^10 bytes, 02 two clusters
constexpr std::size_t kFat16TypeText = 0x36;    // "FAT16" or "FAT12"
constexpr std::size_t kFat32TypeText = 0x52;    // "FAT32"
constexpr std::size_t kExfatName = 3;           // "EXFAT"
constexpr std::size_t kExfatSectorShift = 0x6C;
constexpr std::size_t kExfatClusterShift = 0x6D;

constexpr std::uint8_t kJumpShort = 0xEB;
constexpr std::uint8_t kNop = 0x90;
constexpr std::uint8_t kFixedDiskMedia = 0xF8;
constexpr std::uint8_t kFloppyMedia = 0xF0;
constexpr std::uint16_t kLbaSectorsPerTrack = 63;
constexpr std::uint16_t kLbaHeads = 255;
}  // namespace bpb

// What a partition-table entry must look like for the sector to count as a table.
namespace table_test {
constexpr std::uint8_t kLowestType = 0x01;
constexpr std::uint8_t kHighestType = 0x1C;
constexpr std::uint32_t kMinSectors = 0x4000;  // 8 MiB
}  // namespace table_test

// 55 AA at the end of the sector.
bool HasSectorSignature(ByteView sector);

// Shared by NTFS, FAT12/16 and FAT32: the signature, a jump, a sector size of
// 512–4096, a power-of-two cluster of at most 128 sectors, a media byte (F0,
// F8–FF), and a disk geometry: 63 sectors per track or 255 heads, or
// else at most 63 sectors per track and at most 255 heads.
bool PassesCommonBootTest(ByteView sector);

// NTFS: also a FILE record size of 1024 to 4096 bytes, whether the
// clusters-per-record byte counts clusters (positive) or is 2^-n bytes.
bool IsNtfsBootSector(ByteView sector);
// FAT12 and FAT16 share the boot sector; the type text is either.
bool IsFat16BootSector(ByteView sector);
bool IsFat32BootSector(ByteView sector);
// exFAT: sectors of 512 to 4096 bytes (shift 9 to 12), clusters of at most 32 MiB.
bool IsExfatBootSector(ByteView sector);
// The sector size in bytes a boot sector of any of the four says its volume
// has (exFAT: 2^shift; the others: bytes per sector); 0 for none of them.
std::uint32_t BootSectorSectorSize(ByteView sector);
// The signature and at least one entry of a plausible data partition: a
// type from 0x01 to 0x1C, a non-zero start, at least 16384 sectors, and a
// boot indicator of 00 or 80.
bool IsPartitionTableSector(ByteView sector);

}  // namespace kestrum
