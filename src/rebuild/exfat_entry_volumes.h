#pragma once
// exFAT volumes whose boot region and backup are lost, rebuilt from the
// directory sectors a scan found: the runs of them that lie on one cluster
// grid tell the cluster size, and the subdirectory each names next tells
// where the cluster heap begins.

#include <cstdint>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_finding.h"

namespace kestrum {

// A maximal run of consecutive sectors holding exFAT directory findings.
struct DirectoryRun {
  Sector64 start = 0;  // absolute sector
  std::uint32_t sectors = 0;
};

// The runs of the category-113 and 114 findings, in sector order.
std::vector<DirectoryRun> ExfatDirectoryRuns(const std::vector<ScanFinding>& findings);

// Appends one volume of FsKind 16 (start 0, the heap offset absolute, no
// FAT) with the tree of every directory on the grid, unless no grid or heap
// can be told or an exFAT volume of `rebuilt` already has that heap. True
// when a volume was appended.
bool RebuildExfatFromFindings(const DeviceHandle& device, const std::vector<ScanFinding>& findings,
                              VolumeList& rebuilt);

}  // namespace kestrum
