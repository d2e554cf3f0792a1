#pragma once
// Where the content of a deleted FAT file is looked for. Deleting a file
// frees its chain in the FAT, so only its first cluster is known: the file
// is taken to go on in the clusters after it that are still free, as far as
// its size needs (clusters in use belong to live files and cannot be its).

#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "fs/fat/fat_layout.h"
#include "fs/tree/file_node.h"

namespace kestrum {

struct DeletedContent {
  std::vector<std::uint32_t> clusters;  // what a copy reads, in order
  // good: the first cluster is free and enough free ones follow; partial:
  // the free clusters give out before the size; overwritten: the first
  // cluster is in use again; unknown: the entry names no cluster of the volume.
  RecoveryChance chance = kRecoveryUnknown;
};

// The clusters for a deleted entry whose first cluster is `location` (FAT32:
// with the high word as stored; when that cluster is in use or outside the
// volume, the low word alone, as some systems clear the high word on delete).
DeletedContent FindDeletedContent(const FatGeometry& geometry, ByteView fat, std::uint32_t location,
                                  std::uint64_t size);

}  // namespace kestrum
