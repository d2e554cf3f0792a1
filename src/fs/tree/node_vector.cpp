#include "fs/tree/node_vector.h"

#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "platform/process.h"

namespace kestrum {

// Moving pages moves the nodes: nothing in a node may point into itself.
static_assert(std::is_trivially_copyable_v<FileNode>);

namespace {

std::size_t PageBytes(std::size_t count) {
  static const std::size_t page = platform::PageBytes();
  const std::size_t bytes = count * sizeof(FileNode);
  return (bytes + page - 1) / page * page;
}

}  // namespace

NodeVector::~NodeVector() {
  platform::UnmapPages(data_, PageBytes(capacity_));
}

NodeVector::NodeVector(NodeVector&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

NodeVector& NodeVector::operator=(NodeVector&& other) noexcept {
  if (this == &other) return *this;
  platform::UnmapPages(data_, PageBytes(capacity_));
  data_ = std::exchange(other.data_, nullptr);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

const FileNode& NodeVector::at(std::size_t i) const {
  if (i >= size_) throw std::out_of_range("node index past the array");
  return data_[i];
}

void NodeVector::reserve(std::size_t count) {
  if (count <= capacity_) return;
  if (count > SIZE_MAX / sizeof(FileNode) / 2) throw std::bad_alloc();
  const std::size_t bytes = PageBytes(count);
  void* block = data_ == nullptr ? platform::MapPages(bytes)
                                 : platform::GrowPages(data_, PageBytes(capacity_), bytes);
  if (block == nullptr) throw std::bad_alloc();
  data_ = static_cast<FileNode*>(block);
  capacity_ = bytes / sizeof(FileNode);
}

void NodeVector::resize(std::size_t count) {
  reserve(count);
  for (std::size_t i = size_; i < count; ++i) new (data_ + i) FileNode{};
  size_ = count;
}

void NodeVector::push_back(const FileNode& node) {
  // Doubling costs only address space: the pages move, nothing is copied.
  const FileNode copy = node;  // `node` may lie in the pages about to move
  if (size_ == capacity_) reserve(capacity_ == 0 ? 1 : capacity_ * 2);
  new (data_ + size_) FileNode(copy);
  ++size_;
}

}  // namespace kestrum
