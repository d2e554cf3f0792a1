#pragma once
// Whether a file of a known type begins in a sector: fixed byte patterns at
// fixed offsets, tried in a fixed order, the first hit deciding the type.

#include "base/byte_order.h"
#include "scan/scan_category.h"

namespace kestrum {

// Runs on every sector of a scan: reads only the sector (512 bytes; a
// shorter view matches nothing) and allocates nothing. False, with
// kNoCategory, when no signature matches.
bool MatchFileSignature(ByteView sector, ScanCategory& category);

}  // namespace kestrum
