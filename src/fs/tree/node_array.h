#pragma once
// Filling a volume's node array: the operations the readers share.

#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"
#include "fs/tree/node_vector.h"

namespace kestrum {

// The volume's array, created empty when it has none yet.
NodeArray& NodesOf(VolumeDescriptor& volume);
const NodeArray* NodesOf(const VolumeDescriptor& volume);

// Starts a FAT or exFAT tree: slots 0–4 empty, the root at 5.
void AddRootNode(VolumeDescriptor& volume);
// Appends a copy of `node` with id := its index; returns the index.
std::uint32_t AppendNode(VolumeDescriptor& volume, const FileNode& node);
// FAT and exFAT: the LostFile folder as the last slot.
void AppendLostFileNode(VolumeDescriptor& volume);
// NTFS, for an array sized in advance: the root at 5, LostFile at `last`.
void PlaceLostFileNode(std::span<FileNode> nodes, std::uint32_t last);

}  // namespace kestrum
