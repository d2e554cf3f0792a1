#pragma once
// The volume of files found by content: one folder per file category under
// the root, each file named by its place in the finding list.

#include <vector>

#include "disk/volume_descriptor.h"
#include "scan/scan_finding.h"

namespace kestrum {

inline constexpr char16_t kSearchFileLabel[] = u"SearchFile";
// A folder's name carries its file count up to this.
constexpr std::uint32_t kMaxShownFolderCount = 9999;

// `findings` in ascending sector order with file lengths assigned; `scanned`
// the area the scan covered (its disk is what the files are copied from).
VolumeDescriptor BuildSearchFileVolume(const std::vector<ScanFinding>& findings,
                                       const VolumeDescriptor& scanned);

}  // namespace kestrum
