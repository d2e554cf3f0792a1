#pragma once
// Directory entry sets: a file entry, its stream extension and its name
// entries, live (0x85, 0xC0, 0xC1) or deleted (0x05, 0x40, 0x41), turned
// into file-tree nodes.

#include <string>
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

// The same walk one 32-byte entry at a time, for a directory read piece by
// piece: the sets may run across the pieces.
class EntrySetParser {
 public:
  explicit EntrySetParser(NodeStrings& strings) : strings_(strings) {}
  // True when `entry` completes a set; its node is then in `out`.
  bool Feed(ByteView entry, FileNode& out);
  // The end-of-directory entry was met: nothing after it counts.
  bool Ended() const { return ended_; }

 private:
  NodeStrings& strings_;
  FileNode node_;
  std::u16string name_;
  unsigned remaining_ = 0;
  bool inSet_ = false;
  bool folder_ = false;
  bool deleted_ = false;
  bool ended_ = false;
};

}  // namespace kestrum
