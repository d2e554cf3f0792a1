#pragma once
// Copying the content of a FAT node into an output file for the export.

#include "run/worker_state.h"
#include "disk/volume_descriptor.h"
#include "fs/output_file.h"
#include "fs/tree/file_node.h"

namespace kestrum {

// Follows the node's cluster chain through the volume's cached FAT, one
// cluster per read; a deleted node's clusters are the ones the volume's
// deleted entries shared out to it (FindDeletedContent). A free (0) entry
// before the file is complete is taken to mean the file goes on in the next
// cluster. The walk never leaves the volume's clusters nor comes back to a
// cluster it copied. True only for a complete copy, which then gets the
// node's times; after a failed read or a stop the output is cut to nothing;
// a chain that ends before the file does leaves the bytes it gave, and
// answers false.
bool ExportFatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                   StatusMessage& status);

// For FAT volumes rebuilt from directory sectors (no FAT behind them): the
// descriptor's start sector is cluster 2, and the node's clusters are taken
// as contiguous, copied in 1 MiB pieces. File times are not set. False, with
// the output cut to nothing, after a failed read or a stop.
bool ExportContiguousClusters(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                              StatusMessage& status);

}  // namespace kestrum
