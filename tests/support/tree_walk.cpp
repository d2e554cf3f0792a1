#include "support/tree_walk.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "base/text.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"

namespace kestrum::test {

namespace {

// Deeper than any fixture goes; a ring of folder links ends here.
constexpr std::size_t kMaxDepth = 256;

struct Walk {
  const NodeVector& nodes;
  const VolumeSet* set;  // null: the raw child lists
  std::map<std::string, std::uint32_t> paths;
  std::set<std::uint32_t> seen;

  std::vector<std::uint32_t> Children(std::uint32_t folder) const {
    if (set == nullptr) return ChildrenOf(nodes, folder).List();
    std::vector<std::uint32_t> children;
    set->ListVisibleChildren(0, folder, children, false);
    return children;
  }

  void Enter(std::uint32_t folder, const std::string& prefix, std::size_t depth) {
    if (depth > kMaxDepth) {
      ADD_FAILURE() << "folders nested deeper than " << kMaxDepth << " at " << prefix;
      return;
    }
    for (std::uint32_t child : Children(folder)) {
      if (child >= nodes.size()) {
        ADD_FAILURE() << "child " << child << " of " << prefix << " is past the node array";
        continue;
      }
      std::string path = prefix + ToUtf8(nodes[child].name);
      bool newPath = paths.emplace(path, child).second;
      bool newNode = seen.insert(child).second;
      EXPECT_TRUE(newPath) << "listed twice: " << path;
      EXPECT_TRUE(newNode) << "node " << child << " listed twice, again as " << path;
      if (newNode && nodes[child].IsFolder()) Enter(child, path + "/", depth + 1);
    }
  }
};

}  // namespace

std::map<std::string, std::uint32_t> TreePaths(const VolumeDescriptor& volume, std::optional<std::int32_t> view) {
  const NodeArray* array = NodesOf(volume);
  if (array == nullptr || array->nodes.size() <= kRootNodeId) return {};
  VolumeSet set;
  if (view) {
    set.AddVolume(volume);
    set.viewMode = *view;
    set.SelectVolume(0, nullptr, kRootNodeId);
  }
  Walk walk{array->nodes, view ? &set : nullptr, {}, {kRootNodeId}};
  walk.Enter(kRootNodeId, "", 0);
  return std::move(walk.paths);
}

}  // namespace kestrum::test
