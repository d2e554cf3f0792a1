#pragma once
// What one analysed block's findings say about where to read next: the
// blocks an NTFS volume's start and MFT should lie in, and the blocks just
// before a boot sector and at the end of its volume.

#include <vector>

#include "scan/scan_finding.h"
#include "scan/scan_state.h"

namespace kestrum {

// A block this full of MFT records is taken to lie inside an MFT.
constexpr std::size_t kMftBlockRecords = 100;

// The MFT hints, then the boot-sector hints, queued on `state` in that order.
void QueueScanHints(const std::vector<ScanFinding>& blockFindings, ScanState& state);

}  // namespace kestrum
