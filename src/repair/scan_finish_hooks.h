#pragma once
// Which finish step a deep scan ends in, by its mode: the one choice both
// front ends make, so that the rebuild of volumes and the partition
// candidates plug in here.

#include "scan/scan_pipeline.h"

namespace kestrum {

ScanFinishHook ScanFinishHookFor(std::int32_t mode);

}  // namespace kestrum
