#pragma once
// Classifies blocks on every core: the blocks handed in are classified on
// helper threads and on the caller's own thread, and their findings come
// back in the order the blocks were handed in, so that whatever is done with
// them (counters, hints, the store) happens in the order of one thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "scan/scan_finding.h"

namespace kestrum {

// The threads that classify, the caller's included: one per core the
// process may run on, at most `limit` (the blocks that can wait at once).
std::size_t AnalysisThreads(std::size_t limit);

class ParallelBlockAnalysis {
 public:
  struct Result {
    void* tag = nullptr;
    std::vector<ScanFinding> findings;
  };

  // `threads` counts the caller: threads - 1 helpers are started.
  // `device` is the one the blocks were read from (records that run past a
  // block are completed from it); it must outlive this object.
  ParallelBlockAnalysis(const DeviceHandle& device, std::size_t threads);
  // Waits for the blocks being classified; those not begun are dropped.
  ~ParallelBlockAnalysis();
  ParallelBlockAnalysis(const ParallelBlockAnalysis&) = delete;
  ParallelBlockAnalysis& operator=(const ParallelBlockAnalysis&) = delete;

  std::size_t Threads() const { return helpers_.size() + 1; }
  // Hands in a block (whole sectors, the first at absolute `firstSector`);
  // an empty view is a block with nothing to classify. The bytes must stay
  // until the block comes back from TakeOldest.
  void Submit(ByteView bytes, Sector64 firstSector, void* tag);
  std::size_t Pending() const;
  // The oldest block handed in, once classified; meanwhile the caller
  // classifies blocks no helper has begun. Only with Pending() non-zero.
  Result TakeOldest();

 private:
  struct Job {
    ByteView bytes;
    Sector64 firstSector = 0;
    void* tag = nullptr;
    std::vector<ScanFinding> findings;
    bool started = false;
    bool done = false;
  };

  // The oldest job not begun, marked begun; nullptr when there is none.
  Job* BeginNextLocked();
  void Classify(Job& job, std::unique_lock<std::mutex>& lock);
  void Help();

  const DeviceHandle& device_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;  // in the order handed in
  bool quit_ = false;
  std::vector<std::thread> helpers_;
};

}  // namespace kestrum
