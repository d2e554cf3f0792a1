#pragma once
// What one deep scan is asked to do: the workflow it serves and the region
// the user wants read first.

#include <cstdint>

#include "disk/sector.h"

namespace kestrum {

enum ScanMode : std::int32_t {
  kScanPartition = 3,       // "搜索恢复分区的文件"
  kScanDisk = 4,            // "搜索恢复磁盘的文件"
  kScanLostPartitions = 5,  // "恢复丢失的分区"
};

struct ScanRequest {
  std::int32_t mode = kScanDisk;
  Sector64 priorityStart = 0;   // first sector of the region read first
  Sector64 priorityLength = 0;  // its length in sectors
};

}  // namespace kestrum
