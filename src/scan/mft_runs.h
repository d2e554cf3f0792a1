#pragma once
// Runs of MFT records among scan findings, and where the NTFS volume of a
// run of the MFT (or of its mirror) must begin. Both the scan's hints and the
// rebuild of lost NTFS volumes go by them.

#include <cstdint>
#include <vector>

#include "disk/sector.h"
#include "scan/scan_finding.h"

namespace kestrum {

// A stretch of MFT-record findings two sectors apart each, as one run of an
// MFT lays them down.
struct MftRun {
  std::vector<std::size_t> members;  // indexes into the findings, in order
  Sector64 firstSector = 0;
  bool mftMark = false;  // the first record's name begins with "$M" ($MFT, $MFTMirr)

  std::uint32_t Count() const { return static_cast<std::uint32_t>(members.size()); }
};

// Runs need at least this many records before a volume start is inferred.
constexpr std::uint32_t kMinMarkedRunRecords = 4;

// Groups the category-103 findings of `findings` (ascending sector order):
// a record exactly 2 × its place in the run after the run's first sector
// extends the run; other categories in between are passed over; any other
// record closes the run and starts the next.
std::vector<MftRun> GroupMftRuns(const std::vector<ScanFinding>& findings);

// Where the volume of a run begins, from its first two records: sectors per
// cluster from record 1 (the mirror file), and the first cluster of whichever
// file's data the run must be (a short run is the mirror's copy). False when
// the records do not tell, or the volume would begin before sector 0.
struct InferredNtfsStart {
  Sector64 start = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t firstCluster = 0;  // the cluster the run's data lies at
};
bool InferNtfsVolumeStart(const std::vector<ScanFinding>& findings, const MftRun& run,
                          InferredNtfsStart& out);

}  // namespace kestrum
