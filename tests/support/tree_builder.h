#pragma once
// A tree built node by node, as the FAT reader builds one: root at 5, nodes
// appended, LostFile last.

#include <cstdint>
#include <string>
#include <vector>

#include "fs/tree/volume_set.h"

namespace kestrum::test {

// Where nodes parsed outside any volume keep their names and data: it lasts
// as long as the test program.
NodeStrings& TestStrings();

class TreeBuilder {
 public:
  explicit TreeBuilder(FsKind kind = kFsScanArea);

  std::uint32_t Add(std::u16string name, NodeType type, std::uint32_t parent, std::uint64_t size = 0,
                    std::uint32_t location = 0);
  NodeVector& Nodes();
  std::uint32_t LostFile() { return static_cast<std::uint32_t>(Nodes().size() - 1); }

  // Links the tree and makes it the only, current volume of `target`,
  // selected at the root in `view`.
  void Finish(VolumeSet& target, std::int32_t view);
  // The same into the builder's own set.
  VolumeSet& Finish(std::int32_t view) {
    Finish(set, view);
    return set;
  }

  VolumeDescriptor volume;
  VolumeSet set;
};

}  // namespace kestrum::test
