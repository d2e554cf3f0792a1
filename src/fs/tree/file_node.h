#pragma once
// One file or folder of a recovered tree, and the flat array of them that a
// reader fills for its volume. Nodes name their parent by index; LinkNodes
// turns the array into a tree of child lists.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
inline constexpr char16_t kRootName[] = u".";
inline constexpr char16_t kLostFileName[] = u"LostFile";

// The small fields sit together, so that they share padding: a volume
// holds one node per file, millions on a large disk.
struct FileNode {
  // Equal to the slot's index (NTFS: the MFT record number), or kLostFileId;
  // anything else, or an empty name, marks an empty slot.
  std::uint32_t id = 0;
  std::uint32_t parentId = 0;
  // FAT/exFAT: first cluster; files found by content: absolute start sector;
  // NTFS: byte length of the run list held in `data` (0 when resident).
  std::uint32_t location = 0;
  NodeType type = kDeletedFile;
  std::uint8_t deletedMark = 0;  // deleted, or something below is deleted
  std::uint8_t residentData = 0;
  // exFAT only: the stream extension says the clusters are contiguous and
  // the FAT holds no chain for them.
  std::uint8_t noFatChain = 0;
  RecoveryChance recovery = kRecoveryUnknown;
  // NTFS only: the record's sequence number, and the one its parent
  // reference names (0: not known). Unequal, the parent's record was reused.
  std::uint16_t sequence = 0;
  std::uint16_t parentSequence = 0;
  std::uint64_t size = 0;
  std::uint64_t creationTime = 0;   // FILETIME, UTC
  std::uint64_t lastWriteTime = 0;  // FILETIME, UTC
  std::u16string name;
  std::vector<std::uint32_t> children;  // filled by LinkNodes, ascending index order
  // NTFS only: the resident content, or a copy of the run list.
  std::vector<std::uint8_t> data;

  bool IsFolder() const { return type == kFolder || type == kDeletedFolder; }
  bool IsFile() const { return type == kFile || type == kDeletedFile; }
  bool IsDeleted() const { return type == kDeletedFile || type == kDeletedFolder; }
};

// Whether slot `index` holds a node at all.
inline bool IsUsedSlot(const FileNode& node, std::uint32_t index) {
  return !node.name.empty() && (node.id == index || node.id == kLostFileId);
}

struct NodeArray {
  std::vector<FileNode> nodes;  // size() is the count of used slots

  std::uint32_t Count() const { return static_cast<std::uint32_t>(nodes.size()); }
};

FileNode MakeRootNode();
// The folder for nodes whose parent does not check out; its type is
// kFolder on NTFS and kDeletedFolder on FAT and exFAT.
FileNode MakeLostFileNode(NodeType type);

// The parent a node hangs under once linked: its parentId when that slot
// holds a node, else the LostFile folder (the last slot).
std::uint32_t LinkedParent(const std::vector<FileNode>& nodes, std::uint32_t index);

// Builds child lists and spreads deleted marks upwards. Every reader calls it
// once, after its last node. Loops in damaged parent chains end.
void LinkNodes(std::vector<FileNode>& nodes);

}  // namespace kestrum
