#pragma once
// Directory entry sets: a file entry, its stream extension and its name
// entries, live (0x85, 0xC0, 0xC1) or deleted (0x05, 0x40, 0x41), turned
// into file-tree nodes.

#include <string>
#include <string_view>
#include <vector>

#include "base/byte_order.h"
#include "fs/tree/file_node.h"
#include "fs/tree/node_strings.h"

namespace kestrum {

// The stream extension's name hash of `name`: each character up-cased (the
// Latin, Greek and Cyrillic letters of the default up-case table; others
// stay), then its two bytes rotated into the sum.
std::uint16_t ExfatNameHash(std::u16string_view name);

// Walks the 32-byte entries of a directory's bytes in order, up to the first
// end-of-directory entry, and gives one node per set, in the order the sets
// stand: name, valid data length as size, first cluster as location, the
// no-FAT-chain flag, creation and modification times, and the type from the
// directory attribute and whether the set is deleted. Every secondary entry
// counts against the file entry's secondary count, those of unknown types
// skipped. A set is given once it holds a stream and a name entry: when its
// count is reached, or, marked damagedSet, when the next primary entry, the
// end of the directory or of the bytes comes first. Live and deleted entries
// may mix in one set. The name is as long as the stream says, or as long as
// its hash confirms when the stored length does not fit the hash, and ends
// at a zero. parentId and id are left for the caller; names are kept in
// `strings`.
std::vector<FileNode> ParseEntrySets(ByteView entries, NodeStrings& strings);

// The same walk one 32-byte entry at a time, for a directory read piece by
// piece: the sets may run across the pieces.
class EntrySetParser {
 public:
  explicit EntrySetParser(NodeStrings& strings) : strings_(strings) {}
  // True when a set is given: its node is then in `out`.
  bool Feed(ByteView entry, FileNode& out);
  // The directory's bytes ended: true when the set still open is given.
  bool Finish(FileNode& out);
  // Bytes that would not be read come next: the set still open is given as
  // Finish gives it, and what follows them starts afresh (secondaries
  // without their file entry are passed over).
  bool Interrupt(FileNode& out) { return Finish(out); }
  // The end-of-directory entry was met: nothing after it counts.
  bool Ended() const { return ended_; }

 private:
  // Gives the open set, damaged, when it has a stream and a name; closes it.
  bool GiveOpenSet(FileNode& out);
  void Give(FileNode& out, bool damaged);
  std::u16string_view ChosenName() const;

  NodeStrings& strings_;
  FileNode node_;
  std::u16string name_;
  unsigned remaining_ = 0;  // secondaries the file entry counted, not yet met
  unsigned nameEntries_ = 0;
  std::uint8_t nameLength_ = 0;
  std::uint16_t nameHash_ = 0;
  bool inSet_ = false;
  bool haveStream_ = false;
  bool overCount_ = false;
  bool folder_ = false;
  bool deleted_ = false;
  bool ended_ = false;
};

}  // namespace kestrum
