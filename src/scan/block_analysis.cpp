#include "scan/block_analysis.h"

#include <algorithm>

#include "scan/block_findings.h"

namespace kestrum {

std::size_t AnalysisThreads(std::size_t limit) {
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp<std::size_t>(cores, 1, std::max<std::size_t>(limit, 1));
}

ParallelBlockAnalysis::ParallelBlockAnalysis(const DeviceHandle& device, std::size_t threads) : device_(device) {
  for (std::size_t i = 1; i < threads; ++i) helpers_.emplace_back([this] { Help(); });
}

ParallelBlockAnalysis::~ParallelBlockAnalysis() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void ParallelBlockAnalysis::Submit(ByteView bytes, Sector64 firstSector, void* tag) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    Job& job = jobs_.emplace_back();
    job.bytes = bytes;
    job.firstSector = firstSector;
    job.tag = tag;
  }
  changed_.notify_all();
}

std::size_t ParallelBlockAnalysis::Pending() const {
  std::lock_guard<std::mutex> lock(lock_);
  return jobs_.size();
}

ParallelBlockAnalysis::Job* ParallelBlockAnalysis::BeginNextLocked() {
  for (Job& job : jobs_) {
    if (!job.started) {
      job.started = true;
      return &job;
    }
  }
  return nullptr;
}

// Entered and left with the lock held; classifies without it. A job stays
// in the queue until it is taken, so the reference holds meanwhile.
void ParallelBlockAnalysis::Classify(Job& job, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  std::vector<ScanFinding> findings;
  if (!job.bytes.empty()) CollectBlockFindings(job.bytes, job.firstSector, device_, findings);
  lock.lock();
  job.findings = std::move(findings);
  job.done = true;
  changed_.notify_all();
}

void ParallelBlockAnalysis::Help() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    Job* job = nullptr;
    changed_.wait(lock, [&] { return quit_ || (job = BeginNextLocked()) != nullptr; });
    if (job == nullptr) return;  // quit
    Classify(*job, lock);
  }
}

ParallelBlockAnalysis::Result ParallelBlockAnalysis::TakeOldest() {
  std::unique_lock<std::mutex> lock(lock_);
  Job& oldest = jobs_.front();
  while (!oldest.done) {
    if (Job* job = BeginNextLocked()) {
      Classify(*job, lock);
    } else {
      changed_.wait(lock, [&] { return oldest.done; });
    }
  }
  Result result{oldest.tag, std::move(oldest.findings)};
  jobs_.pop_front();
  return result;
}

}  // namespace kestrum
