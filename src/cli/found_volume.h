#pragma once
// `ls` and `export` with --scan FILE --found N: found volume N of a saved
// scan, rebuilt from the findings kept in the file. SOURCE must be the
// device the scan was made of.

#include "cli/arguments.h"
#include "disk/volume_descriptor.h"
#include "fs/tree/volume_set.h"

namespace kestrum::cli {

// Makes the found volume the current volume of `set`, in the view --deleted
// asks for, and copies it to `volume`. Tells the user why not and sets the
// exit status.
bool FoundVolumeIntoSet(const Arguments& args, VolumeSet& set, VolumeDescriptor& volume, int& exitStatus);

}  // namespace kestrum::cli
