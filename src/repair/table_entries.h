#pragma once
// Partition-table entries for a confirmed selection: primaries and the
// extended entry for the MBR, then each extended boot record's logical
// partition and its link to the next one.

#include <array>
#include <cstdint>
#include <vector>

#include "disk/sector.h"
#include "repair/found_partition.h"

namespace kestrum::repair {

// One 16-byte entry in the classic MBR layout (the offsets the readers use
// are in disk/partition_table.h).
namespace entry {
constexpr std::size_t kBootIndicator = 0;
constexpr std::size_t kStartChs = 1;  // head, sector | cylinder bits 8–9, cylinder bits 0–7
constexpr std::size_t kType = 4;
constexpr std::size_t kEndChs = 5;
constexpr std::size_t kStartLba = 8;
constexpr std::size_t kSectorCount = 12;
constexpr std::size_t kSize = 16;

constexpr std::uint8_t kTypeNtfs = 0x07;
constexpr std::uint8_t kTypeFat16 = 0x06;
constexpr std::uint8_t kTypeFat32 = 0x0B;
constexpr std::uint8_t kTypeExfat = 0x07;
constexpr std::uint8_t kTypeExtended = 0x0F;  // in the MBR
constexpr std::uint8_t kTypeLink = 0x05;      // from one EBR to the next
}  // namespace entry

struct TableEntry {
  Sector64 tableSector = 0;  // the MBR (0) or an EBR
  std::array<std::uint8_t, entry::kSize> bytes{};
};

struct ChsAddress {
  std::uint8_t head = 0;
  std::uint8_t sector = 0;    // bits 0–5 sector, bits 6–7 cylinder bits 8–9
  std::uint8_t cylinder = 0;  // cylinder bits 0–7
};

// An MBR or EBR entry holds 32-bit numbers of the disk's own sectors: no
// partition of a table may reach past 2^32 of them.
constexpr Sector64 kMbrSectorLimit = Sector64{1} << 32;

// Below, `units` is the disk's sector size in 512-byte units (1 to 8): the
// records are in 512-byte units, the entries in the disk's sectors.

// The first partition of the selection (ascending start) that an MBR/EBR
// table cannot describe, as it ends at or past kMbrSectorLimit sectors of
// the disk; null when every one fits.
const FoundPartition* FirstBeyondMbr(const std::vector<FoundPartition>& selection, std::uint32_t units = 1);
// The first one that does not begin and end on the disk's sector bounds
// (a table entry cannot say where it lies); null when every one does.
const FoundPartition* FirstUnaligned(const std::vector<FoundPartition>& selection, std::uint32_t units);

// With 255 heads and 63 sectors a track; FE FF FF from 16,777,214 on.
ChsAddress EncodeChs(Sector64 lba);

std::uint8_t PartitionTypeFor(ScanCategory kind);

// The entry of selection[i] in the table at `base`: its start relative to
// the table, the end CHS from its absolute end. The selection must fit an
// MBR (FirstBeyondMbr).
TableEntry MakePartitionEntry(const std::vector<FoundPartition>& selection, std::size_t i,
                              Sector64 base, std::uint32_t units = 1);

// Every entry, the MBR's first, then the EBRs' in ascending sector order.
std::vector<TableEntry> BuildTableEntries(const std::vector<FoundPartition>& selection, std::uint32_t units = 1);

}  // namespace kestrum::repair
