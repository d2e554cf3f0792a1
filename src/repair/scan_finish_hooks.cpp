#include "repair/scan_finish_hooks.h"

#include "rebuild/rebuild_volumes.h"
#include "repair/found_partition.h"

namespace kestrum {

namespace {

// Mode 5 ends in the found-partition list the repair page offers.
void FillFoundPartitionList(const ScanRequest& /*request*/, const std::vector<ScanFinding>& findings,
                            const VolumeDescriptor& scanned, bool /*wholeArea*/, VolumeList& /*results*/) {
  repair::TheFoundPartitionList() = repair::CollectFoundPartitions(findings, scanned);
}

}  // namespace

ScanFinishHook ScanFinishHookFor(std::int32_t mode) {
  // Both file searches end in the files found by content and every volume
  // the findings describe.
  if (mode == 3 || mode == 4) {
    return [](const ScanRequest&, const std::vector<ScanFinding>& findings, const VolumeDescriptor& scanned,
              bool wholeArea, VolumeList& results) {
      RebuildVolumesFromFindings(findings, scanned.diskPath, scanned, wholeArea, results);
    };
  }
  if (mode == kScanLostPartitions) return FillFoundPartitionList;
  return AppendSearchFileVolume;
}

}  // namespace kestrum
