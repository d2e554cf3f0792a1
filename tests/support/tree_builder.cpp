#include "support/tree_builder.h"

#include <utility>

#include "fs/tree/node_array.h"

namespace kestrum::test {

NodeStrings& TestStrings() {
  static NodeStrings strings;
  return strings;
}

TreeBuilder::TreeBuilder(FsKind kind) {
  volume.fsKind = kind;
  AddRootNode(volume);
}

std::uint32_t TreeBuilder::Add(std::u16string name, NodeType type, std::uint32_t parent, std::uint64_t size,
                               std::uint32_t location) {
  FileNode node;
  node.name = NodesOf(volume).strings.Keep(name);
  node.type = type;
  node.parentId = parent;
  node.size = size;
  node.location = location;
  node.deletedMark = (type == kDeletedFile || type == kDeletedFolder) ? 1 : 0;
  return AppendNode(volume, node);
}

NodeVector& TreeBuilder::Nodes() { return NodesOf(volume).nodes; }

void TreeBuilder::Finish(VolumeSet& target, std::int32_t view) {
  AppendLostFileNode(volume);
  LinkNodes(Nodes());
  target.ClearVolumes();
  target.AddVolume(volume);
  target.viewMode = view;
  target.SelectVolume(0, nullptr, kRootNodeId);
}

}  // namespace kestrum::test
