#include "scan/block_ring.h"

#include <chrono>
#include <new>

#include "disk/sector.h"
#include "platform/process.h"

namespace kestrum {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{8192} * kSectorSize;
constexpr auto kWait = std::chrono::milliseconds(100);

}  // namespace

BlockRing::BlockRing() : memory_(platform::MapLargePages(kRingSlots * kBlockBytes)) {
  if (memory_ == nullptr) throw std::bad_alloc();
  for (std::size_t i = 0; i < kRingSlots; ++i) {
    slots_[i].bytes = std::span<std::uint8_t>(static_cast<std::uint8_t*>(memory_) + i * kBlockBytes, kBlockBytes);
    free_[i] = i;
  }
  freeCount_ = kRingSlots;
}

BlockRing::~BlockRing() { platform::UnmapPages(memory_, kRingSlots * kBlockBytes); }

ScanBlock* BlockRing::AcquireFree() {
  std::unique_lock<std::mutex> lock(lock_);
  if (freeCount_ == 0 && !changed_.wait_for(lock, kWait, [this] { return freeCount_ != 0; })) {
    return nullptr;
  }
  return &slots_[free_[--freeCount_]];
}

void BlockRing::Publish(ScanBlock* block) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    const auto index = static_cast<std::size_t>(block - slots_.data());
    full_[(readIndex_ + fillCount_) % kRingSlots] = index;
    ++fillCount_;
  }
  changed_.notify_all();
}

ScanBlock* BlockRing::TakeFull() {
  std::unique_lock<std::mutex> lock(lock_);
  if (fillCount_ == 0 && !changed_.wait_for(lock, kWait, [this] { return fillCount_ != 0 || closed_; })) {
    return nullptr;
  }
  return fillCount_ == 0 ? nullptr : TakeLocked();
}

void BlockRing::Close() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
  }
  changed_.notify_all();
}

ScanBlock* BlockRing::TryTakeFull() {
  std::lock_guard<std::mutex> lock(lock_);
  return fillCount_ == 0 ? nullptr : TakeLocked();
}

ScanBlock* BlockRing::TakeLocked() {
  ScanBlock* block = &slots_[full_[readIndex_]];
  readIndex_ = (readIndex_ + 1) % kRingSlots;
  --fillCount_;
  return block;
}

void BlockRing::Release(ScanBlock* block) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    free_[freeCount_++] = static_cast<std::size_t>(block - slots_.data());
  }
  changed_.notify_all();
}

bool BlockRing::HasFull() {
  std::lock_guard<std::mutex> lock(lock_);
  return fillCount_ != 0;
}

}  // namespace kestrum
