#pragma once
// The counters of the scan's progress lines, per finding category.

#include "run/worker_state.h"
#include "scan/scan_category.h"

namespace kestrum {

// Files (0–33), EBRs, boot sectors, MFT and INDX records, FAT and exFAT
// directory sectors; MBRs and root directory sectors are not counted.
void CountFinding(ScanCategory category, ScanStatus& scan);

}  // namespace kestrum
