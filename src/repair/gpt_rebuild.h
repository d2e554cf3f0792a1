#pragma once
// A new GUID partition table for the ticked partitions: every partition a
// basic-data entry with a new GUID, in the disk's logical sectors, and the
// pieces of the disk it overwrites at both ends in the form the history
// keeps them.

#include <vector>

#include "base/guid.h"
#include "disk/gpt.h"
#include "repair/found_partition.h"
#include "repair/repair_history.h"
#include "repair/repair_prompts.h"
#include "repair/table_kind.h"

namespace kestrum::repair {

// Basic data for NTFS, FAT and exFAT: the only file systems found.
Guid GptTypeFor(ScanCategory kind);

// The protective MBR (its boot code still to be taken from the disk), both
// headers and both entry arrays. False with the reason shown when a
// partition does not start on a logical sector or lies outside the area a
// GPT leaves for partitions.
bool BuildGptForSelection(const std::vector<FoundPartition>& selection, const DiskTableFacts& facts,
                          std::vector<GptPiece>& out, RepairPrompts& prompts);

// The pieces in the form the history keeps them: sector numbers in 512-byte
// units, neighbouring pieces joined, none over the history's largest piece.
std::vector<SavedSector> PiecesAsSaved(const std::vector<GptPiece>& pieces, std::uint32_t sectorSize);

}  // namespace kestrum::repair
