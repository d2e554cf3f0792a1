#pragma once
// Reading a whole NTFS volume into a tree, and reading its label.

#include "disk/device.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// The reader for FsKind 13. Opens the volume's disk, finds the MFT's runs
// (record 0, else the mirror), sizes the volume's node array to one slot per
// MFT record plus LostFile, reads every FILE record chunk by chunk and keeps
// each named one in the slot of its own record number, posting a parse
// status per kept record, then places the root and LostFile and links the
// tree. The descriptor gets a fresh array: trees already shared with other
// copies of the descriptor are left as they are.
// False when the device cannot be opened, no MFT runs are found, the runs
// hold no room for a tree, or the run state asks to stop (the partly filled
// array then stays in the descriptor, unlinked).
bool ReadNtfsVolume(VolumeDescriptor& volume);

// Reads the $VOLUME_NAME of record 3 into volume.label. True when the label
// is not empty. Sectors are absolute, as OpenVolumeOnDisk gives them.
bool ReadNtfsLabel(const DeviceHandle& device, VolumeDescriptor& volume);

}  // namespace kestrum
