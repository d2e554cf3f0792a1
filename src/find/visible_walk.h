#pragma once
// Every visible node of a volume below its root, depth first in child-list
// order, with its path from the root. The path is kept once, in the caller's
// form (`appendName` adds a node's name to it), and each node's name replaces
// the name of the node before it at the same depth. The walk keeps one
// cursor per open folder, never a copy of a folder's children: a folder may
// hold millions.

#include <cstdint>
#include <vector>

#include "fs/tree/volume_set.h"

namespace kestrum {

// visit(index, node, path) for each node; folders are entered after their visit.
template <typename Path, typename AppendName, typename Visit>
void WalkVisibleTree(const VolumeSet& set, int volume, AppendName appendName, Visit visit) {
  const NodeArray* array = set.NodesOfVolume(volume);
  if (array == nullptr) return;
  struct Level {
    ChildRange::Iterator next;  // the next child to visit
    std::size_t nameStart;      // where its name begins in the path
  };
  std::vector<Level> levels = {{ChildrenOf(array->nodes, kRootNodeId).begin(), 0}};
  Path path;
  while (!levels.empty()) {
    if (levels.back().next == ChildRange::Iterator{}) {
      levels.pop_back();
      continue;
    }
    const std::uint32_t index = *levels.back().next++;
    const FileNode* node = set.IsNodeVisible(volume, index, false);
    if (node == nullptr) continue;
    path.resize(levels.back().nameStart);
    appendName(path, node->name);
    visit(index, *node, path);
    if (node->IsFolder()) {
      path.push_back('/');
      levels.push_back({ChildrenOf(array->nodes, index).begin(), path.size()});
    }
  }
}

}  // namespace kestrum
