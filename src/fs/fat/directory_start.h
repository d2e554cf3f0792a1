#pragma once
// The start of a FAT subdirectory: its first cluster opens with "." (naming
// that cluster) and ".." (naming the parent's first cluster, 0 for the
// root). What tells a directory's cluster from file data when no entry or
// chain leads to it any more.

#include <cstdint>

#include "base/byte_order.h"

namespace kestrum {

struct DirectoryStart {
  bool found = false;       // "." and "..", both directories
  std::uint32_t self = 0;   // the cluster "." names
  std::uint32_t parent = 0;  // the cluster ".." names
};

// The dot entries at the start of `bytes` (a directory cluster's first
// sector or more). FAT32 keeps the clusters' high words.
DirectoryStart ReadDirectoryStart(ByteView bytes, bool fat32);

// Whether `bytes`, read from `cluster`, start the directory that lives
// there: "." names the cluster itself, so a stale copy elsewhere does not.
bool StartsDirectoryAt(ByteView bytes, std::uint32_t cluster, bool fat32);

}  // namespace kestrum
