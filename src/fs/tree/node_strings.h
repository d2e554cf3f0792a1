#pragma once
// The names and NTFS run lists of one node array, packed into large blocks:
// a volume of millions of files then costs no heap block per node, and a
// piece once kept never moves, so nodes hold plain views of it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/byte_order.h"

namespace kestrum {

class NodeStrings {
 public:
  NodeStrings() = default;
  // Views into the blocks would dangle in a copy's nodes.
  NodeStrings(const NodeStrings&) = delete;
  NodeStrings& operator=(const NodeStrings&) = delete;
  // The source is left empty: a copied tail pointer would let both fill
  // the same block.
  NodeStrings(NodeStrings&& other) noexcept;
  NodeStrings& operator=(NodeStrings&& other) noexcept;

  // A copy of `text` that lives as long as this object; empty stays empty.
  std::u16string_view Keep(std::u16string_view text);
  ByteView Keep(ByteView bytes);

 private:
  void* Take(std::size_t bytes, std::size_t alignment);
  std::byte* NewBlock(std::size_t bytes);

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* free_ = nullptr;  // the unused tail of the last block
  std::size_t left_ = 0;
};

}  // namespace kestrum
