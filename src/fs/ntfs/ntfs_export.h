#pragma once
// Copying one NTFS file's content into an output file.

#include "run/worker_state.h"
#include "disk/volume_descriptor.h"
#include "fs/output_file.h"
#include "fs/tree/file_node.h"

namespace kestrum {

// Resident content is read from its record again (at the MFT place the
// volume's record map gives) and written when the record still holds the
// value the listing saw. Otherwise the node's run list is decoded and read
// from the volume's disk 8192 sectors at a time, sparse runs written as
// zeros, until `size` bytes are written (the slack after them is not read);
// sectors that will not read are zeros, counted in the output's record.
// Every chunk adds to status.exportStatus.currentFileCopied and
// .bytesExported and is posted. On success the output's modification time
// is the node's lastWriteTime. False, with the output cut back to nothing,
// when the disk cannot be opened, the run state asks to stop, content lies
// past the end of the disk, a non-empty file has no run list left to
// follow, or a resident file's record has a sector that will not read (a
// failed read of the record's sectors in the output's record) or no longer
// holds the value. A run list that ends before `size` leaves the copy short.
bool ExportNtfsFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                    StatusMessage& status);

}  // namespace kestrum
