#include "tree_listing.h"

#include <vector>

#include "base/text.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"

namespace kestrum::test {

namespace {

void Walk(const VolumeSet& set, std::uint32_t node, const std::string& prefix, int depth,
          std::map<std::string, std::uint32_t>& out) {
  if (depth > 200) return;
  std::vector<std::uint32_t> children;
  if (!set.ListVisibleChildren(0, node, children, false)) return;
  const auto& nodes = set.volumes[0].readerState.nodes->nodes;
  for (std::uint32_t k : children) {
    std::string path = prefix + ToUtf8(nodes[k].name);
    out[path] = k;
    if (nodes[k].IsFolder()) Walk(set, k, path + "/", depth + 1, out);
  }
}

}  // namespace

std::map<std::string, std::uint32_t> ListTree(const VolumeDescriptor& volume, std::int32_t viewMode) {
  VolumeSet set;
  set.AddVolume(volume);
  set.viewMode = viewMode;
  set.currentVolume = 0;
  std::map<std::string, std::uint32_t> out;
  if (volume.readerState.nodes) Walk(set, kRootNodeId, "", 0, out);
  return out;
}

std::uint32_t ChildIndex(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name) {
  const NodeArray* array = NodesOf(volume);
  if (array == nullptr || parent >= array->Count()) return 0;
  std::u16string wanted = FromUtf8(name);
  for (std::uint32_t k : array->nodes[parent].children) {
    if (array->nodes[k].name == wanted) return k;
  }
  return 0;
}

const FileNode* ChildNamed(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name) {
  std::uint32_t k = ChildIndex(volume, parent, name);
  return k == 0 ? nullptr : &NodesOf(volume)->nodes[k];
}

}  // namespace kestrum::test
