#pragma once
// The storage of a node array: contiguous, indexed like a vector, but grown
// by remapping its pages instead of copying them. A vector that grows holds
// its old and its new block at once, for a moment twice the nodes; a volume
// read whose node count is not known in advance (FAT, exFAT) would peak
// there. Pages of the reserved room cost nothing until a node is placed.

#include <cstddef>
#include <cstdint>

#include "fs/tree/file_node.h"
#include "fs/tree/node_strings.h"

namespace kestrum {

class NodeVector {
 public:
  NodeVector() = default;
  ~NodeVector();
  NodeVector(const NodeVector&) = delete;
  NodeVector& operator=(const NodeVector&) = delete;
  NodeVector(NodeVector&& other) noexcept;
  NodeVector& operator=(NodeVector&& other) noexcept;

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }

  FileNode* data() { return data_; }
  const FileNode* data() const { return data_; }
  FileNode* begin() { return data_; }
  FileNode* end() { return data_ + size_; }
  const FileNode* begin() const { return data_; }
  const FileNode* end() const { return data_ + size_; }
  FileNode& operator[](std::size_t i) { return data_[i]; }
  const FileNode& operator[](std::size_t i) const { return data_[i]; }
  FileNode& back() { return data_[size_ - 1]; }
  const FileNode& back() const { return data_[size_ - 1]; }
  const FileNode& at(std::size_t i) const;  // throws std::out_of_range past the end

  // Throws std::bad_alloc when the system has no room.
  void reserve(std::size_t count);
  void resize(std::size_t count);  // new slots are empty nodes
  void push_back(const FileNode& node);
  void emplace_back() { push_back(FileNode{}); }
  void pop_back() { --size_; }
  void clear() { size_ = 0; }

 private:
  FileNode* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// A volume's recovered tree.
struct NodeArray {
  NodeVector nodes;     // size() is the count of used slots
  NodeStrings strings;  // the nodes' names and data

  std::uint32_t Count() const { return static_cast<std::uint32_t>(nodes.size()); }
};

}  // namespace kestrum
