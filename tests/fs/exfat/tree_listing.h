#pragma once
// A read tree as the browser would show it: every visible node by path.

#include <cstdint>
#include <map>
#include <string>

#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"

namespace kestrum::test {

// path ('/'-separated, relative to the root; LostFile included) → node
// index, for the nodes the view shows, depth first.
std::map<std::string, std::uint32_t> ListTree(const VolumeDescriptor& volume, std::int32_t viewMode);

// The linked child of `parent` named `name` (UTF-8), or nullptr.
const FileNode* ChildNamed(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name);
std::uint32_t ChildIndex(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name);

}  // namespace kestrum::test
