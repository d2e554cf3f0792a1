#pragma once
// Reading one volume's file system on a worker thread, for the two
// recovery functions that browse a partition directly.

#include "disk/volume_descriptor.h"

namespace kestrum {

struct PartDataJob {
  VolumeDescriptor volume;  // read in place; its tree is left in readerState
  bool readOk = false;      // the reader built a tree (false for unknown kinds)
};

// The reader for the volume's FsKind; false for kinds without a reader.
bool ReadVolumeFileSystem(VolumeDescriptor& volume);

// Worker procedure: reads, then marks the run finished unless it was stopped.
void GetPartDataThread(PartDataJob& job);

}  // namespace kestrum
