#pragma once
// The volumes a file search gives back: the files found by content, then
// every volume its findings describe — partition tables, boot sectors and
// their backups, runs of MFT records, FAT directory sectors, exFAT entry
// sets and scattered MFT records — each read by its reader or built here.

#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_finding.h"

namespace kestrum {

// The findings the table and boot-sector steps look at: categories 100–102,
// 104–109 and 112–115, in their order (MFT records and directory sectors are
// left out).
using FindingRefs = std::vector<const ScanFinding*>;
FindingRefs SelectStructureFindings(const std::vector<ScanFinding>& findings);

// Whether a volume of the list starts at `sector`: a volume is never rebuilt twice.
bool HasVolumeAt(Sector64 sector, const VolumeList& volumes);

// Steps after the search-file volume: the volumes of partition tables,
// boot sectors, MFT runs, FAT directories and exFAT entries, each read by its
// reader (or built with its tree), then the NTFS volumes of scattered MFT
// records. `device` is the scanned disk, opened read-only; every volume gets
// `diskPath` and the scanned disk's description. With `wholeArea` (the
// findings are all the scanned area holds) a FAT volume's free clusters are
// not read again for lost folders where the scan saw none. Appends to
// `rebuilt`.
void RebuildFoundVolumes(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                         const std::u16string& diskPath, const VolumeDescriptor& scanned, bool wholeArea,
                         VolumeList& rebuilt);

// The finish step of a file search: `findings` in ascending sector order
// with file lengths assigned. Opens the scanned disk read-only; when that
// fails `results` is left as it was. Otherwise `results` is refilled: the
// search-file volume first, then every rebuilt volume with its tree.
void RebuildVolumesFromFindings(const std::vector<ScanFinding>& findings, const std::u16string& diskPath,
                                const VolumeDescriptor& scanned, bool wholeArea, VolumeList& results);

}  // namespace kestrum
