#pragma once
// Which partition table a rebuild writes. Disks that had a GPT (a
// protective MBR, or a GPT header at either end) get one again, and so do
// disks an MBR cannot describe; the others get MBR and EBRs, unless the
// user asks for the other (the repair page asks whenever both would do).

#include <cstdint>
#include <vector>

#include "disk/volume_descriptor.h"
#include "repair/found_partition.h"
#include "repair/repair_prompts.h"

namespace kestrum::repair {

enum class TableChoice { kAuto, kMbr, kGpt };
enum class TableKind { kMbr, kGpt };

// What the disk says about the table it should get.
struct DiskTableFacts {
  bool hadGpt = false;
  std::uint32_t sectorSize = kSectorSize;  // the disk's logical sector
  std::uint64_t diskLbas = 0;              // its size in those sectors
};

// Read-only; false when the disk will not open.
bool ReadDiskTableFacts(const VolumeDescriptor& device, DiskTableFacts& out);

// The table to write. `ask`: the page asks when both would do (cancel
// returns false). MBR asked for where it cannot hold a partition is
// refused with the reason.
bool ChooseTableKind(TableChoice asked, bool ask, const std::vector<FoundPartition>& selection,
                     const DiskTableFacts& facts, RepairPrompts& prompts, TableKind& out);

}  // namespace kestrum::repair
