#include "tree_listing.h"

#include <vector>

#include "base/text.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"

namespace kestrum::test {

std::uint32_t ChildIndex(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name) {
  const NodeArray* array = NodesOf(volume);
  if (array == nullptr || parent >= array->Count()) return 0;
  std::u16string wanted = FromUtf8(name);
  for (std::uint32_t k : ChildrenOf(array->nodes, parent)) {
    if (array->nodes[k].name == wanted) return k;
  }
  return 0;
}

const FileNode* ChildNamed(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name) {
  std::uint32_t k = ChildIndex(volume, parent, name);
  return k == 0 ? nullptr : &NodesOf(volume)->nodes[k];
}

}  // namespace kestrum::test
