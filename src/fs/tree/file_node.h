#pragma once
// One file or folder of a recovered tree, and the flat array of them that a
// reader fills for its volume. Nodes name their parent by index; LinkNodes
// turns the array into a tree of child lists.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/byte_order.h"

namespace kestrum {

enum NodeType : std::uint8_t {
  kDeletedFile = 0,
  kFile = 1,
  kDeletedFolder = 2,
  kFolder = 3,
};

// How likely a file's content comes back as it was: deleted files by whether
// their clusters are still free, files found by content by whether their
// format's structure holds up to the end found.
enum RecoveryChance : std::uint8_t {
  kRecoveryUnknown = 0,
  kRecoveryGood,
  kRecoveryPartial,
  kRecoveryOverwritten,
  kRecoveryUnverified,
};

constexpr std::uint32_t kRootNodeId = 5;
constexpr std::uint32_t kLostFileId = 0xFFFFFFFF;
// Ends a child list: no node has this index.
constexpr std::uint32_t kNoNode = 0xFFFFFFFF;
inline constexpr char16_t kRootName[] = u".";
inline constexpr char16_t kLostFileName[] = u"LostFile";

// The small fields sit together, so that they share padding: a volume
// holds one node per file, millions on a large disk.
struct FileNode {
  // Equal to the slot's index (NTFS: the MFT record number), or kLostFileId;
  // anything else, or an empty name, marks an empty slot.
  std::uint32_t id = 0;
  std::uint32_t parentId = 0;
  // FAT/exFAT: first cluster; files found by content: the low 32 bits of
  // the absolute start sector (StartSector); NTFS: byte length of the run
  // list held in `data`, or for resident content the place of its record
  // in the MFT (RecordPlace).
  std::uint32_t location = 0;
  // Set by LinkNodes: the first child, and the next child of the same
  // parent, in ascending index order. Two links a node rather than a list
  // per folder: no heap block per folder, and nothing to grow.
  std::uint32_t firstChild = kNoNode;
  std::uint32_t nextSibling = kNoNode;
  NodeType type = kDeletedFile;
  std::uint8_t deletedMark = 0;  // deleted, or something below is deleted
  std::uint8_t residentData = 0;
  // exFAT only: the stream extension says the clusters are contiguous and
  // the FAT holds no chain for them.
  std::uint8_t noFatChain = 0;
  RecoveryChance recovery = kRecoveryUnknown;
  // exFAT only: the entry set did not hold the entries its file entry
  // counted (it ended early at the next primary entry, or ran over).
  std::uint8_t damagedSet = 0;
  // NTFS only: the record's sequence number, and the one its parent
  // reference names (0: not known). Unequal, the parent's record was reused.
  std::uint16_t sequence = 0;
  std::uint16_t parentSequence = 0;
  // Files found by content: bits 32–47 of the start sector. 48 bits reach
  // 128 PiB, and fill the padding before `size` instead of widening every
  // node of every volume. NTFS resident content: the offset of its $DATA
  // attribute in the record (ResidentAttributeOffset).
  std::uint16_t locationHigh = 0;
  std::uint64_t size = 0;
  std::uint64_t creationTime = 0;   // FILETIME, UTC
  std::uint64_t lastWriteTime = 0;  // FILETIME, UTC
  // Views: the bytes belong to the array's NodeStrings (a node made by hand
  // must point them at something that outlives it, never at a temporary).
  std::u16string_view name;
  // NTFS only: a copy of the run list. Resident content is not kept: it is
  // read from its record again when it is copied.
  ByteView data;

  // Files found by content.
  std::uint64_t StartSector() const { return std::uint64_t{locationHigh} << 32 | location; }
  void SetStartSector(std::uint64_t sector) {
    location = static_cast<std::uint32_t>(sector);
    locationHigh = static_cast<std::uint16_t>(sector >> 32);
  }

  // NTFS resident content: where in the MFT its record lies, and where in
  // the record its attribute.
  std::uint32_t RecordPlace() const { return location; }
  void SetRecordPlace(std::uint32_t place) { location = place; }
  std::uint16_t ResidentAttributeOffset() const { return locationHigh; }
  void SetResidentAttributeOffset(std::uint16_t offset) { locationHigh = offset; }

  bool IsFolder() const { return type == kFolder || type == kDeletedFolder; }
  bool IsFile() const { return type == kFile || type == kDeletedFile; }
  bool IsDeleted() const { return type == kDeletedFile || type == kDeletedFolder; }
};

// A volume holds one node per file, millions on a large disk.
static_assert(sizeof(FileNode) <= 88, "FileNode grew");

// Whether slot `index` holds a node at all.
inline bool IsUsedSlot(const FileNode& node, std::uint32_t index) {
  return !node.name.empty() && (node.id == index || node.id == kLostFileId);
}

// A linked folder's children, ascending index order: a walk along the
// sibling links.
class ChildRange {
 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::uint32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::uint32_t*;
    using reference = std::uint32_t;

    Iterator() = default;
    Iterator(const FileNode* nodes, std::uint32_t at) : nodes_(nodes), at_(at) {}
    std::uint32_t operator*() const { return at_; }
    Iterator& operator++() {
      at_ = nodes_[at_].nextSibling;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    const FileNode* nodes_ = nullptr;
    std::uint32_t at_ = kNoNode;
  };

  ChildRange(const FileNode* nodes, std::uint32_t first) : nodes_(nodes), first_(first) {}
  Iterator begin() const { return {nodes_, first_}; }
  Iterator end() const { return {nodes_, kNoNode}; }
  bool empty() const { return first_ == kNoNode; }
  std::size_t size() const { return static_cast<std::size_t>(std::distance(begin(), end())); }
  std::vector<std::uint32_t> List() const { return {begin(), end()}; }

 private:
  const FileNode* nodes_;
  std::uint32_t first_;
};

// Empty for a folder past the array or one LinkNodes gave no children.
inline ChildRange ChildrenOf(std::span<const FileNode> nodes, std::uint32_t folder) {
  return {nodes.data(), folder < nodes.size() ? nodes[folder].firstChild : kNoNode};
}

FileNode MakeRootNode();
// The folder for nodes whose parent does not check out; its type is
// kFolder on NTFS and kDeletedFolder on FAT and exFAT.
FileNode MakeLostFileNode(NodeType type);

// The parent a node hangs under once linked: its parentId when that slot
// holds a node, else the LostFile folder (the last slot).
std::uint32_t LinkedParent(std::span<const FileNode> nodes, std::uint32_t index);

// Builds child lists and spreads deleted marks upwards. Every reader calls it
// once, after its last node. Loops in damaged parent chains end.
void LinkNodes(std::span<FileNode> nodes);

}  // namespace kestrum
