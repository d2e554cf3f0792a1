#pragma once
// Copying the content of an exFAT node into an output file for the export.

#include "run/worker_state.h"
#include "disk/volume_descriptor.h"
#include "fs/output_file.h"
#include "fs/tree/file_node.h"

namespace kestrum {

// Copies the node's clusters (ContentClusters: contiguous for a
// no-FAT-chain file, else its FAT chain) one cluster per read, up to the
// node's size, adding each piece to the status counters and posting it.
// File times are not set. True only for a complete copy; after a failed
// read, a failed write or a stop the output is cut to nothing; a chain that
// ends before the file does leaves the bytes it gave, and answers false.
bool ExportExfatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                     StatusMessage& status);

// For exFAT volumes rebuilt from scan findings (start 0, heap offset an
// absolute sector, no FAT): the node's clusters are taken as contiguous and
// copied in 1 MiB pieces. Same result and status rules as ExportExfatFile.
bool ExportRebuiltExfatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                            StatusMessage& status);

}  // namespace kestrum
