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
  BlockReads reads(device, ring, kReadsInFlight);
  for (;;) {
    const std::optional<RingBlock> block = next();
    if (!block) break;
    if (reader.IsHole(block->first, block->sectors)) {
      begun(block->first);
      ring.PassHole(block->first);
      continue;
    }
    ScanBlock* slot = nullptr;
    while (slot == nullptr && !AbortRequested()) slot = ring.AcquireFree();
    if (slot == nullptr) break;  // aborted while the ring was full
    slot->firstSector = block->first;
    reads.Start(slot);
    begun(block->first);
  }
  reads.Drain();
}

BlockReads::BlockReads(const DeviceHandle& device, BlockRing& ring, std::size_t helpers)
    : device_(device), ring_(ring) {
  for (std::size_t i = 0; i < std::max<std::size_t>(helpers, 1); ++i) helpers_.emplace_back([this] { Help(); });
}

BlockReads::~BlockReads() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

bool BlockReads::FailingLocked() const {
  return device_.health != nullptr && device_.health->Counts().retriedReads != 0;
}

void BlockReads::Start(ScanBlock* block) {
  {
    std::unique_lock<std::mutex> hold(lock_);
    // A failing disk: the other reads end before this one begins.
    if (FailingLocked()) changed_.wait(hold, [this] { return reads_.empty(); });
    reads_.push_back(Read{block});
  }
  changed_.notify_all();
}

void BlockReads::Drain() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return reads_.empty(); });
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
    // Only a done front is published, so this read is still held: a deque
    // keeps its elements in place when it grows at the back.
    next->done = true;
    bool published = false;
    while (!reads_.empty() && reads_.front().done) {
      ring_.Publish(reads_.front().block);
      reads_.pop_front();
      published = true;
    }
    if (published) changed_.notify_all();
  }
}

}  // namespace kestrum
