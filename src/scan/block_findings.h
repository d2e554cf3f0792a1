#pragma once
// Both tests over every sector of one scanned block, in sector order.

#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "scan/scan_finding.h"

namespace kestrum {

// A scan block: 8192 sectors (4 MiB), read with one request.
constexpr std::uint32_t kScanBlockSectors = 8192;

// Appends the findings of `block` (whole sectors, the first at absolute
// `firstSector`) to `out`: for each sector its signature finding (payload
// empty until AssignFileExtents), then its structure finding. `device` is
// the one the block was read from, for MFT records that run past the block.
// Returns the number of findings appended.
std::size_t CollectBlockFindings(ByteView block, Sector64 firstSector, const DeviceHandle& device,
                                 std::vector<ScanFinding>& out);

}  // namespace kestrum
