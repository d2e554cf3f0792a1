#pragma once
// The second step of giving files found by content their length: where the
// file's own format says it ends, inside the length AssignFileExtents gave
// it (so that a photo followed by free space is not exported with hundreds
// of megabytes of whatever follows it).

#include <span>
#include <vector>

#include "disk/device.h"
#include "scan/file_ends/byte_source.h"
#include "scan/scan_finding.h"

namespace kestrum {

// The first walk of a file finding whose length is assigned: its format's
// end finder over that length, cut at `areaEnd`. What it gives depends on
// nothing but the finding's sector, category and length, and the disk.
struct FirstFileWalk {
  Sector64 sector = 0;       // the finding's
  std::uint64_t length = 0;  // the finding's length, which bounded the walk
  std::uint64_t end = 0;     // where the file's structure ends; 0: it broke first
  ScanCategory category = kNoCategory;
  bool hitLimit = false;     // it asked for bytes past the length
};
// Whether a finding is a file whose format has an end finder.
bool HasEndFinder(const ScanFinding& finding);
FirstFileWalk WalkFileFinding(const ScanFinding& finding, const SectorReadFn& read, Sector64 areaEnd);

// After AssignFileExtents, over the same findings. Every file finding of a
// format with an end finder is read from `read` (never past its length, nor
// past `areaEnd`, the sector just past the scanned area): when its
// structure holds, its length becomes the end found and its recovery
// kRecoveryGood; when the structure breaks, it keeps its length and is
// marked kRecoveryUnverified. Stops early, leaving the rest as they are,
// when the run is aborted. The files are walked on every core: `read` is
// called from several threads at once.
// `early`: first walks taken before (EarlyFileWalks), in sector order; one
// whose finding, category and length are a finding's stands for its walk.
void RefineFileExtents(std::vector<ScanFinding>& findings, const SectorReadFn& read, Sector64 areaEnd,
                       std::span<const FirstFileWalk> early = {});
// The same, reading the scanned device (read errors are posted as usual).
void RefineFileExtents(std::vector<ScanFinding>& findings, const DeviceHandle& device, Sector64 areaEnd,
                       std::span<const FirstFileWalk> early = {});

}  // namespace kestrum
