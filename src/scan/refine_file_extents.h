#pragma once
// The second step of giving files found by content their length: where the
// file's own format says it ends, inside the length AssignFileExtents gave
// it (so that a photo followed by free space is not exported with hundreds
// of megabytes of whatever follows it).

#include <vector>

#include "disk/device.h"
#include "scan/file_ends/byte_source.h"
#include "scan/scan_finding.h"

namespace kestrum {

// After AssignFileExtents, over the same findings. Every file finding of a
// format with an end finder is read from `read` (never past its length, nor
// past `areaEnd`, the sector just past the scanned area): when its
// structure holds, its length becomes the end found and its recovery
// kRecoveryGood; when the structure breaks, it keeps its length and is
// marked kRecoveryUnverified. Stops early, leaving the rest as they are,
// when the run is aborted. The files are walked on every core: `read` is
// called from several threads at once.
void RefineFileExtents(std::vector<ScanFinding>& findings, const SectorReadFn& read, Sector64 areaEnd);
// The same, reading the scanned device (read errors are posted as usual).
void RefineFileExtents(std::vector<ScanFinding>& findings, const DeviceHandle& device, Sector64 areaEnd);

}  // namespace kestrum
