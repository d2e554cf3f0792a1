#include "repair/scan_finish_hooks.h"

#include "rebuild/rebuild_volumes.h"

namespace kestrum {

ScanFinishHook ScanFinishHookFor(std::int32_t mode) {
  // Both file searches end in the files found by content and every volume
  // the findings describe.
  if (mode == 3 || mode == 4) {
    return [](const ScanRequest&, const std::vector<ScanFinding>& findings, const VolumeDescriptor& scanned,
              VolumeList& results) { RebuildVolumesFromFindings(findings, scanned.diskPath, scanned, results); };
  }
  return AppendSearchFileVolume;
}

}  // namespace kestrum
