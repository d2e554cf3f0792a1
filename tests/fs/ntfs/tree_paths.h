#pragma once
// The tree a reader built, seen through a view of a VolumeSet: every visible
// node below the root by its '/'-separated path.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "fs/tree/volume_set.h"

namespace kestrum::test {

// path → node index, depth first; folders deeper than 64 levels are not entered.
inline std::map<std::string, std::uint32_t> VisiblePaths(const VolumeDescriptor& volume,
                                                         std::int32_t view) {
  VolumeSet set;
  set.AddVolume(volume);
  set.viewMode = view;
  set.SelectVolume(0, nullptr, kRootNodeId);
  const auto& nodes = volume.readerState.nodes->nodes;
  std::map<std::string, std::uint32_t> out;
  std::vector<std::pair<std::uint32_t, std::string>> stack{{kRootNodeId, ""}};
  while (!stack.empty()) {
    auto [folder, prefix] = stack.back();
    stack.pop_back();
    std::vector<std::uint32_t> children;
    set.ListVisibleChildren(0, folder, children, false);
    for (std::uint32_t child : children) {
      std::string path = prefix + ToUtf8(nodes[child].name);
      out.emplace(path, child);
      if (nodes[child].IsFolder() && std::count(path.begin(), path.end(), '/') < 64) {
        stack.emplace_back(child, path + "/");
      }
    }
  }
  return out;
}

}  // namespace kestrum::test
