#pragma once
// How long a file found by its signature is: up to whatever the scan found
// next, capped.

#include <vector>

#include "disk/sector.h"
#include "scan/scan_finding.h"

namespace kestrum {

// A file found by content is never taken as longer than 600 MiB.
constexpr std::uint64_t kMaxFileExtentSectors = 1228800;

// Where a file found by content begins: at its finding's sector, or
// before it for a format whose signature lies further in.
Sector64 FileStartSector(const ScanFinding& finding);

// `findings` in ascending sector order; `areaEnd` the sector just past the
// scanned area (first sector + sector count, up to 2^32). Sets the length
// (wordA low, wordB high, in bytes) of every file finding: the sectors up to
// the next finding of any category, or up to the area's end for the last;
// 0 when that is not beyond the file's own sector.
void AssignFileExtents(std::vector<ScanFinding>& findings, Sector64 areaEnd);
// The same for one file finding, `end` being the next finding's sector (or
// the area's end).
void AssignFileExtent(ScanFinding& finding, Sector64 end);

}  // namespace kestrum
