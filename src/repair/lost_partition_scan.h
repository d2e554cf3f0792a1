#pragma once
// The lost-partition scan of a whole disk: every block classified, the table
// and boot-sector findings kept, and at the end the found-partition list.
// Runs as a worker behind the progress display; "暂停" finishes with what
// was found so far, "退出" leaves no list.

#include "disk/volume_descriptor.h"
#include "repair/found_partition.h"

namespace kestrum::repair {

struct LostPartitionScanJob {
  VolumeDescriptor disk;  // the whole disk: start 0, its sector count
  FoundPartitionList found;
  bool completed = false;  // false when aborted or the disk could not be opened
};

void LostPartitionScanThread(LostPartitionScanJob& job);

}  // namespace kestrum::repair
