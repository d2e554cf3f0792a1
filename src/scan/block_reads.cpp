#include "scan/block_reads.h"

#include <algorithm>

#include "disk/data_extents.h"
#include "run/worker_state.h"
#include "scan/scan_state.h"

namespace kestrum {

namespace {

// Holes of a sparse image are zeros without a read.
void ReadBlock(const DeviceHandle& device, HoleSkippingReader& reader, ScanBlock& block) {
  const std::uint32_t count = ReadableSectors(device, block.firstSector);
  if (reader.Read(block.bytes, block.firstSector, count) == BlockContent::kHole) {
    std::fill(block.bytes.begin(), block.bytes.end(), std::uint8_t{0});
  } else {
    std::fill(block.bytes.begin() + std::size_t{count} * kSectorSize, block.bytes.end(), std::uint8_t{0});
  }
}

}  // namespace

std::uint32_t ReadableSectors(const DeviceHandle& device, Sector64 blockStart) {
  if (device.sectorLimit == 0) return kBlockSectors;
  if (blockStart >= device.sectorLimit) return 0;
  return static_cast<std::uint32_t>(std::min<Sector64>(kBlockSectors, device.sectorLimit - blockStart));
}

void FillRing(const DeviceHandle& device, BlockRing& ring, const std::function<std::optional<RingBlock>()>& next,
              const std::function<void(Sector64)>& begun) {
  HoleSkippingReader reader(device);
  BlockReads reads(device, kReadsInFlight);
  for (;;) {
    // What is read already goes on, in the order it was begun.
    while (ScanBlock* read = reads.TakeOldest(false)) ring.Publish(read);
    const std::optional<RingBlock> block = next();
    if (!block) break;
    if (reader.IsHole(block->first, block->sectors)) {
      begun(block->first);
      ring.PassHole(block->first);
      continue;
    }
    ScanBlock* slot = nullptr;
    while (slot == nullptr && !AbortRequested()) {
      slot = ring.AcquireFree();
      if (slot == nullptr) {
        if (ScanBlock* read = reads.TakeOldest(false)) ring.Publish(read);
      }
    }
    if (slot == nullptr) break;  // aborted while the ring was full
    slot->firstSector = block->first;
    if (ScanBlock* read = reads.Start(slot)) ring.Publish(read);
    begun(block->first);
  }
  while (ScanBlock* read = reads.TakeOldest(true)) ring.Publish(read);
}

BlockReads::BlockReads(const DeviceHandle& device, std::size_t depth) : device_(device), depth_(std::max<std::size_t>(depth, 1)) {
  for (std::size_t i = 0; i < depth_; ++i) helpers_.emplace_back([this] { Help(); });
}

BlockReads::~BlockReads() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

std::size_t BlockReads::AllowedLocked() const {
  const bool failing = device_.health != nullptr && device_.health->Counts().retriedReads != 0;
  return failing ? 1 : depth_;
}

ScanBlock* BlockReads::Start(ScanBlock* block) {
  ScanBlock* waited = nullptr;
  {
    std::unique_lock<std::mutex> hold(lock_);
    if (reads_.size() >= AllowedLocked()) {
      changed_.wait(hold, [this] { return reads_.front().done; });
      waited = reads_.front().block;
      reads_.pop_front();
      // A failing disk: the other reads end before this one begins.
      if (AllowedLocked() == 1) {
        changed_.wait(hold, [this] {
          return std::all_of(reads_.begin(), reads_.end(), [](const Read& read) { return read.done; });
        });
      }
    }
    reads_.push_back(Read{block});
  }
  changed_.notify_all();
  return waited;
}

std::size_t BlockReads::InFlight() const {
  std::lock_guard<std::mutex> hold(lock_);
  return reads_.size();
}

ScanBlock* BlockReads::TakeOldest(bool wait) {
  std::unique_lock<std::mutex> hold(lock_);
  if (reads_.empty()) return nullptr;
  if (wait) changed_.wait(hold, [this] { return reads_.front().done; });
  if (!reads_.front().done) return nullptr;
  ScanBlock* block = reads_.front().block;
  reads_.pop_front();
  return block;
}

void BlockReads::Help() {
  HoleSkippingReader reader(device_);
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    Read* next = nullptr;
    changed_.wait(hold, [&] {
      if (quit_) return true;
      for (Read& read : reads_) {
        if (!read.started) {
          next = &read;
          return true;
        }
      }
      return false;
    });
    if (next == nullptr) return;  // quit
    next->started = true;
    ScanBlock* block = next->block;
    hold.unlock();
    ReadBlock(device_, reader, *block);
    hold.lock();
    // The deque may have moved on at its front, but this read stays until
    // it is done: find it by its block.
    for (Read& read : reads_) {
      if (read.block == block) read.done = true;
    }
    changed_.notify_all();
  }
}

}  // namespace kestrum
