#pragma once
// The tree a reader built, walked depth first in child-list order: every node
// below the root by its '/'-separated UTF-8 path (LostFile and its content
// included). A path or a node met twice fails the current test, so a reader
// that links an entry twice cannot pass a comparison with a manifest.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "disk/volume_descriptor.h"

namespace kestrum::test {

// With a view, the nodes the browser shows in it (ViewMode 1 or 2); without,
// every node of the linked child lists.
std::map<std::string, std::uint32_t> TreePaths(const VolumeDescriptor& volume,
                                               std::optional<std::int32_t> view = std::nullopt);

}  // namespace kestrum::test
