#pragma once
// SOURCE on the command line: a partition device, a file-system image, or a
// disk or disk image with --partition N (the N-th volume `volumes` lists).

#include "cli/arguments.h"
#include "disk/volume_descriptor.h"
#include "fs/tree/volume_set.h"

namespace kestrum::cli {

// Fills `out`, or tells the user why not and sets the exit status.
bool ResolveVolumeSource(const Arguments& args, VolumeDescriptor& out, int& exitStatus);

// Reads the volume's file system behind the terminal progress line and makes
// it the current volume of `set`, in the view --deleted asks for. Tells the
// user why not (unknown file system, stopped, unreadable) and sets the exit status.
bool ReadIntoVolumeSet(const Arguments& args, const VolumeDescriptor& volume, VolumeSet& set,
                       int& exitStatus);

}  // namespace kestrum::cli
