#pragma once
// SOURCE on the command line: a partition device, a file-system image, or a
// disk or disk image with --partition N (the N-th volume `volumes` lists).

#include "cli/arguments.h"
#include "disk/volume_descriptor.h"

namespace kestrum::cli {

// Fills `out`, or tells the user why not and sets the exit status.
bool ResolveVolumeSource(const Arguments& args, VolumeDescriptor& out, int& exitStatus);

}  // namespace kestrum::cli
