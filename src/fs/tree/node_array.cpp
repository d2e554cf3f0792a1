#include "fs/tree/node_array.h"

namespace kestrum {

namespace {

constexpr std::size_t kInitialNodes = 10000;

}  // namespace

FileNode MakeRootNode() {
  FileNode root;
  root.id = kRootNodeId;
  root.parentId = kRootNodeId;
  root.type = kFolder;
  root.name = kRootName;
  return root;
}

FileNode MakeLostFileNode(NodeType type) {
  FileNode lost;
  lost.id = kLostFileId;
  lost.parentId = kRootNodeId;
  lost.type = type;
  lost.deletedMark = 1;
  lost.name = kLostFileName;
  return lost;
}

NodeArray& NodesOf(VolumeDescriptor& volume) {
  if (!volume.readerState.nodes) volume.readerState.nodes = std::make_shared<NodeArray>();
  return *volume.readerState.nodes;
}

const NodeArray* NodesOf(const VolumeDescriptor& volume) { return volume.readerState.nodes.get(); }

void AddRootNode(VolumeDescriptor& volume) {
  NodeVector& nodes = NodesOf(volume).nodes;
  nodes.clear();
  nodes.reserve(kInitialNodes);
  nodes.resize(kRootNodeId);  // slots 0–4 stay empty
  nodes.push_back(MakeRootNode());
}

std::uint32_t AppendNode(VolumeDescriptor& volume, const FileNode& node) {
  NodeVector& nodes = NodesOf(volume).nodes;
  auto index = static_cast<std::uint32_t>(nodes.size());
  nodes.push_back(node);
  nodes.back().id = index;
  return index;
}

void AppendLostFileNode(VolumeDescriptor& volume) { NodesOf(volume).nodes.push_back(MakeLostFileNode(kDeletedFolder)); }

void PlaceLostFileNode(std::span<FileNode> nodes, std::uint32_t last) {
  if (nodes.size() <= kRootNodeId || last >= nodes.size()) return;
  nodes[kRootNodeId] = MakeRootNode();
  nodes[last] = MakeLostFileNode(kFolder);
}

std::uint32_t LinkedParent(std::span<const FileNode> nodes, std::uint32_t index) {
  const auto count = static_cast<std::uint32_t>(nodes.size());
  const FileNode& node = nodes[index];
  if (node.id == kLostFileId || index == kRootNodeId) return kRootNodeId;
  std::uint32_t parent = node.parentId;
  // A node cannot hold itself.
  if (parent >= count || nodes[parent].id != parent || parent == index) return count - 1;
  return parent;
}

void LinkNodes(std::span<FileNode> nodes) {
  const auto count = static_cast<std::uint32_t>(nodes.size());
  for (FileNode& node : nodes) node.firstChild = node.nextSibling = kNoNode;
  // Backwards, each child put in front of its parent's list: the lists come
  // out in ascending order.
  for (std::uint32_t i = count; i-- > 0;) {
    FileNode& node = nodes[i];
    if (!IsUsedSlot(node, i) || node.id == kRootNodeId || node.name[0] == u'$') continue;
    std::uint32_t parent = LinkedParent(nodes, i);
    node.nextSibling = nodes[parent].firstChild;
    nodes[parent].firstChild = i;
    if (!node.deletedMark) continue;
    // The mark doubles as the visited flag: the walk ends at the root, at a
    // marked ancestor, or on a loop.
    for (std::uint32_t k = parent; k < count && !nodes[k].deletedMark; k = nodes[k].parentId) {
      nodes[k].deletedMark = 1;
    }
  }
}

}  // namespace kestrum
