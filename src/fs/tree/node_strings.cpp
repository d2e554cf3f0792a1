#include "fs/tree/node_strings.h"

#include <cstring>
#include <utility>

namespace kestrum {

namespace {

// Large enough that a block costs little beside its names, small enough that
// the unused tail of the last one does not count.
constexpr std::size_t kBlockBytes = 64 * 1024;

}  // namespace

NodeStrings::NodeStrings(NodeStrings&& other) noexcept
    : blocks_(std::move(other.blocks_)),
      free_(std::exchange(other.free_, nullptr)),
      left_(std::exchange(other.left_, 0)) {
  other.blocks_.clear();
}

NodeStrings& NodeStrings::operator=(NodeStrings&& other) noexcept {
  if (this == &other) return *this;
  blocks_ = std::move(other.blocks_);
  other.blocks_.clear();
  free_ = std::exchange(other.free_, nullptr);
  left_ = std::exchange(other.left_, 0);
  return *this;
}

std::byte* NodeStrings::NewBlock(std::size_t bytes) {
  blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
  return blocks_.back().get();
}

void* NodeStrings::Take(std::size_t bytes, std::size_t alignment) {
  // A large piece gets a block of its own, and the current block's tail
  // stays in use.
  if (bytes > kBlockBytes / 4) return NewBlock(bytes);
  std::size_t pad = (alignment - reinterpret_cast<std::uintptr_t>(free_) % alignment) % alignment;
  if (left_ < pad + bytes) {
    free_ = NewBlock(kBlockBytes);
    left_ = kBlockBytes;
    pad = 0;
  }
  std::byte* piece = free_ + pad;
  free_ = piece + bytes;
  left_ -= pad + bytes;
  return piece;
}

std::u16string_view NodeStrings::Keep(std::u16string_view text) {
  if (text.empty()) return {};
  auto* chars = static_cast<char16_t*>(Take(text.size() * sizeof(char16_t), alignof(char16_t)));
  std::memcpy(chars, text.data(), text.size() * sizeof(char16_t));
  return {chars, text.size()};
}

ByteView NodeStrings::Keep(ByteView bytes) {
  if (bytes.empty()) return {};
  auto* copy = static_cast<std::uint8_t*>(Take(bytes.size(), 1));
  std::memcpy(copy, bytes.data(), bytes.size());
  return {copy, bytes.size()};
}

}  // namespace kestrum
