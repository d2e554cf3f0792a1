#pragma once
// Between the rebuild button and the writing of tables: the questions about
// the ticked partitions, and the table sector that will carry each entry
// (the MBR, or an extended boot record in the free space before a partition).

#include <vector>

#include "repair/found_partition.h"
#include "repair/repair_prompts.h"

namespace kestrum::repair {

// A partition shortened because it overlaps the next ends this far before it.
constexpr Sector64 kOverlapMargin = 20480;
// An extended boot record goes this many sectors before its partition.
constexpr Sector64 kEbrOffset = 63;

// Every partition of `selection` (ascending start) against its successor:
// overlap (shorten on Yes), free space of more than 500 MiB, damaged data;
// then damaged data of the last one. Any answer but Yes returns false at once.
// Refused outright: a partition at sector 0 (the MBR itself), and an overlap
// the shortening would leave without sectors.
bool ConfirmSelection(std::vector<FoundPartition>& selection, RepairPrompts& prompts);

// The sector for a table entry in the free sectors [b, a]: a table found
// there by the scan, else kEbrOffset sectors before the partition, else the
// sector just before it — on a disk of `units` 512-byte units a sector, one
// of its own sectors, counted in those sectors. False when no whole sector
// of the disk lies in [b, a].
bool FindTableSector(std::uint64_t a, const FoundPartitionList& allFound, std::uint64_t b,
                     Sector64& out, std::uint32_t units = 1);

// Sets tableSector of every record, from the last backwards: logical while a
// table place exists before it, primary from the first that has none. False
// (with "没有足够的扇区建立扩展分区！") when the MBR would need five entries.
bool PlaceTables(const FoundPartitionList& allFound, std::vector<FoundPartition>& selection,
                 RepairPrompts& prompts, std::uint32_t units = 1);

}  // namespace kestrum::repair
