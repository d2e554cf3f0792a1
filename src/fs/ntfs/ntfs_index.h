#pragma once
// Directory indexes: the children a directory's index names, and the check
// that a candidate NTFS boot sector leads to a real MFT (used by the deep scan).

#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/sector.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// Appends to `out` the record number of every index entry from `first` on
// that carries a long name (Win32, Win32-and-DOS or POSIX; DOS 8.3 entries
// are duplicates), while the entry flags say more entries follow. Entries
// that do not fit `entries` end the walk.
void CollectIndexEntries(ByteView entries, std::size_t first, std::vector<std::uint32_t>& out);

// The children named in a directory record's index: the resident
// $INDEX_ROOT, then the first INDX block of every run of $INDEX_ALLOCATION.
// A block with a sector that would not read is passed over (and added to
// *unreadableBlocks when given); the blocks after it are still read. `out`
// is cleared first. False when the record has no usable $INDEX_ROOT.
bool CollectIndexChildren(ByteView record, const DeviceHandle& device,
                          const VolumeDescriptor& volume, std::vector<std::uint32_t>& out,
                          std::uint32_t* unreadableBlocks = nullptr);

// Whether an NTFS boot sector found at `sector` leads to a plausible MFT:
// its runs come from record 0 or the mirror, and among the first children
// of the root directory at least one user record (above 24) and three
// system records are FILE records carrying their own numbers.
bool CheckNtfsBootSector(Sector64 sector, ByteView bootSector, const DeviceHandle& device);

}  // namespace kestrum
