#pragma once
// Where the content of deleted FAT files is looked for. Deleting a file
// frees its chain in the FAT, so only its first cluster is known: the file
// is taken to go on in the clusters after it that are still free, as far as
// its size needs (clusters in use belong to live files and cannot be its).
// Free clusters are no proof either: another deleted file may have lain
// there. So the deleted entries of a volume share the free clusters out
// among themselves: each owns its first cluster, one alone takes the free
// clusters after its start, and where two or more are still short of their
// size they take the next free cluster in turn, the one that waited longest
// first, as two files written at once lie interleaved.

#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_order.h"
#include "disk/volume_descriptor.h"
#include "fs/fat/fat_layout.h"
#include "fs/tree/file_node.h"

namespace kestrum {

struct DeletedContent {
  std::vector<std::uint32_t> clusters;  // what a copy reads, in order
  // good: the first cluster is free and enough free ones follow that no
  // other deleted entry claims; partial: the free clusters give out before
  // the size, or the file had to pass over clusters another deleted entry
  // holds; overwritten: the first cluster is in use again; unknown: the
  // entry names no cluster of the volume.
  RecoveryChance chance = kRecoveryUnknown;
};

// A deleted entry as the sharing sees it: its node, first cluster as stored
// (FAT32: with the high word; when that cluster is in use or outside the
// volume, the low word alone, as some systems clear the high word on
// delete) and size. A folder owns its first cluster and claims no more.
struct DeletedEntry {
  std::uint32_t node = 0;
  std::uint32_t location = 0;
  std::uint64_t size = 0;
  bool folder = false;
};

// A run of clusters given to one node.
struct NodeClusterRun {
  std::uint32_t node = 0;
  std::uint32_t first = 0;
  std::uint32_t count = 0;
};

// What the sharing gave every deleted entry of a volume, kept with it for the
// export (readerState.deletedClusters).
struct DeletedClusters {
  std::vector<NodeClusterRun> runs;  // by node, then cluster
  std::vector<RecoveryChance> chances;  // the entries' in their order
  std::vector<std::uint32_t> nodes;  // the entries' nodes, ascending (ShareDeletedClusters of a volume)

  // The clusters of `node`, in order; empty when it has none.
  std::vector<std::uint32_t> ClustersOf(std::uint32_t node) const;
};

// Shares the free clusters out among `entries` (any order).
DeletedClusters ShareDeletedClusters(const FatGeometry& geometry, ByteView fat,
                                     std::span<const DeletedEntry> entries);

// The content of one deleted entry: the clusters the volume's sharing gave
// it when the reader kept one, else those it would have alone.
DeletedContent FindDeletedContent(const VolumeDescriptor& volume, const FileNode& node);

// Shares the clusters among every deleted node of the volume's tree, sets
// their recovery chance and keeps the sharing with the volume.
void ShareDeletedClusters(VolumeDescriptor& volume);

}  // namespace kestrum
