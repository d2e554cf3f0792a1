#pragma once
// Children of a read tree by name.

#include <cstdint>
#include <map>
#include <string>

#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"

namespace kestrum::test {

// The linked child of `parent` named `name` (UTF-8), or nullptr.
const FileNode* ChildNamed(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name);
std::uint32_t ChildIndex(const VolumeDescriptor& volume, std::uint32_t parent, const std::string& name);

}  // namespace kestrum::test
