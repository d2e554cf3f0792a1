#pragma once
// Directory entry sets: a file entry, its stream extension and its name
// entries, live (0x85, 0xC0, 0xC1) or deleted (0x05, 0x40, 0x41), turned
// into file-tree nodes.

#include <vector>

#include "base/byte_order.h"
#include "fs/tree/file_node.h"
#include "fs/tree/node_strings.h"

namespace kestrum {

// Walks the 32-byte entries of a directory's bytes in order, up to the first
// end-of-directory entry, and gives one node per complete set, in the order
// the sets stand: name, valid data length as size, first cluster as
// location, the no-FAT-chain flag, creation and modification times, and the
// type from the directory attribute and whether the set is deleted. Live and
// deleted entries may mix in one set; a file entry inside an unfinished set
// starts a new one. parentId and id are left for the caller; names are kept
// in `strings`.
std::vector<FileNode> ParseEntrySets(ByteView entries, NodeStrings& strings);

}  // namespace kestrum
