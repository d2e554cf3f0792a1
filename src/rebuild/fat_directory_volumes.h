#pragma once
// FAT volumes whose boot sector and FATs are lost, rebuilt from the
// subdirectory sectors a scan found: each begins with "." and "..", which
// name its own first cluster and its parent's, so pairs of them agree on
// where cluster 2 must lie and how large a cluster is.

#include <cstdint>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_finding.h"

namespace kestrum {

// A candidate data-area start and the pairs of directory sectors that imply it.
struct ClusterVote {
  Sector64 start = 0;  // the sector of cluster 2
  std::uint32_t count = 0;  // supporting pairs
  std::uint32_t sectorsPerCluster = 0;  // from the first vote for this start
};

// Fewer supporting pairs than this are chance, not a volume.
constexpr std::uint32_t kMinClusterVotes = 10;

// The votes of consecutive FAT directory findings (categories 110 and 111),
// in the order their starts were first voted for.
std::vector<ClusterVote> CountClusterVotes(const std::vector<const ScanFinding*>& directories);

// One volume of FsKind 15 for every start with at least kMinClusterVotes
// votes that no FAT volume of `rebuilt` explains: its tree is read from the
// directory sectors on that cluster grid, each directory followed on through
// the clusters after it while they continue it. Appends to `rebuilt`.
void FatVolumesFromDirectories(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                               VolumeList& rebuilt);

}  // namespace kestrum
