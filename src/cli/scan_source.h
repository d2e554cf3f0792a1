#pragma once
// SOURCE of `scan`: a disk or disk image is searched whole (mode 4); a
// partition device, a file-system image, or a disk with --partition N is
// searched as one volume (mode 3).

#include "cli/arguments.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_request.h"

namespace kestrum::cli {

struct ScanSource {
  VolumeDescriptor area;  // the scanned area; for a whole disk, the disk
  std::int32_t mode = kScanDisk;
};

// Fills `out`, or tells the user why not and sets the exit status.
bool ResolveScanSource(const Arguments& args, ScanSource& out, int& exitStatus);

}  // namespace kestrum::cli
