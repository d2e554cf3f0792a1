#pragma once
// The eight 4 MiB blocks between the scan's reader and its analysis. The
// reader fills a free slot in place and publishes it; the analysis takes the
// oldest full slot, works on it in place and hands it back. Either side waits
// at most 100 ms at a time, so it sees a changed run state promptly.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "disk/sector.h"

namespace kestrum {

constexpr std::size_t kRingSlots = 8;

struct ScanBlock {
  std::span<std::uint8_t> bytes;  // 8192 sectors, in the ring's memory
  Sector64 firstSector = 0;
};

class BlockRing {
 public:
  BlockRing();
  ~BlockRing();
  BlockRing(const BlockRing&) = delete;
  BlockRing& operator=(const BlockRing&) = delete;

  // A free slot to fill, or nullptr after waiting 100 ms with the ring full.
  ScanBlock* AcquireFree();
  void Publish(ScanBlock* block);
  // The oldest filled slot, or nullptr after waiting up to 100 ms (at
  // once when the ring is closed).
  ScanBlock* TakeFull();
  // The reader publishes nothing more: the analysis need not wait for it.
  void Close();
  // The oldest filled slot if there is one, without waiting.
  ScanBlock* TryTakeFull();
  void Release(ScanBlock* block);
  // Whether a filled slot is waiting (for the analysis' end test).
  bool HasFull();
  // Blocks that are one hole of a sparse image pass by the slots: the
  // reader hands over only their starts, and the analysis marks them
  // analysed and counts them as it does every other block (so a count taken
  // when it starts never holds them twice).
  void PassHole(Sector64 blockStart) {
    std::lock_guard<std::mutex> hold(holeLock_);
    holes_.push_back(blockStart);
  }
  std::vector<Sector64> TakeHoles() {
    std::lock_guard<std::mutex> hold(holeLock_);
    return std::exchange(holes_, {});
  }

 private:
  ScanBlock* TakeLocked();

  std::mutex lock_;
  std::condition_variable changed_;
  // The slots' bytes, one block of memory in large pages where the system
  // has them: the 32 MiB in 4 KiB pages took a page fault each, 0.1 s
  // before the first read could begin.
  void* memory_ = nullptr;
  std::array<ScanBlock, kRingSlots> slots_;
  std::array<std::size_t, kRingSlots> free_{};
  std::size_t freeCount_ = 0;
  std::array<std::size_t, kRingSlots> full_{};  // a queue: readIndex_, fillCount_
  std::size_t readIndex_ = 0;
  std::size_t fillCount_ = 0;
  bool closed_ = false;
  std::mutex holeLock_;
  std::vector<Sector64> holes_;
};

}  // namespace kestrum
