#pragma once
// The scan reader's reads, several in flight at once: a block is handed to
// one of a few helper threads to read, and the blocks are published to the
// ring in the order they were handed in, so the analysis sees them in the
// reader's own order. A disk answers several queued requests faster than
// one at a time (bench/read_modes_bench.sh). The helper that ends the oldest
// read publishes it, and every read after it that is done: a helper never
// waits for a slower read before it, it takes the next block handed in. After
// a read that had to be retried sector by sector the reads go one at a time,
// as a failing disk wants them.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "disk/device.h"
#include "scan/block_ring.h"

namespace kestrum {

constexpr std::size_t kReadsInFlight = 4;

// The sectors of the block at `blockStart` that lie on the device (all of
// them when its size is unknown).
std::uint32_t ReadableSectors(const DeviceHandle& device, Sector64 blockStart);

// A block for FillRing to read: where it begins, and how many of its
// sectors are asked for (the hole test looks at those).
struct RingBlock {
  Sector64 first = 0;
  std::uint32_t sectors = 0;
};

// The reading side of a ring: the blocks `next` names, in its order, read
// several at once into free slots (BlockReads) and published in that
// order; a block that is one hole of a sparse image is zeros, which hold no
// finding, and passes by the slots (PassHole). `begun` hears of each block
// handed on. Ends when `next` has none, or when the run is aborted while
// the ring is full; every read begun is published before it returns.
void FillRing(const DeviceHandle& device, BlockRing& ring, const std::function<std::optional<RingBlock>()>& next,
              const std::function<void(Sector64)>& begun);

class BlockReads {
 public:
  // `device` and `ring` must outlive this object; the device's reads are
  // shared by the helpers.
  BlockReads(const DeviceHandle& device, BlockRing& ring, std::size_t helpers);
  // Reads not begun are dropped (Drain first to keep them).
  ~BlockReads();
  BlockReads(const BlockReads&) = delete;
  BlockReads& operator=(const BlockReads&) = delete;

  // Hands in a slot whose firstSector is set. On a failing disk, waits
  // first for every read handed in before.
  void Start(ScanBlock* block);
  // Waits until every block handed in is read and published.
  void Drain();

 private:
  struct Read {
    ScanBlock* block = nullptr;
    bool started = false;
    bool done = false;
  };
  void Help();
  bool FailingLocked() const;

  const DeviceHandle& device_;
  BlockRing& ring_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Read> reads_;  // in the order handed in, until published
  bool quit_ = false;
  std::vector<std::thread> helpers_;
};

}  // namespace kestrum
