#include "scan/scan_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "disk/data_extents.h"
#include "run/worker_state.h"
#include "scan/block_findings.h"
#include "scan/file_extents.h"
#include "scan/refine_file_extents.h"
#include "scan/scan_counters.h"
#include "scan/scan_hints.h"
#include "scan/search_file_volume.h"

namespace kestrum {

namespace {

constexpr char kReadThreadName[] = "DiskFileScanReadThread";
constexpr char kHandThreadName[] = "DiskFileScanHandThread";

// Ordered loads: a reader that ends publishes its last block before it sets
// "finished", and the analysis must see that block once it sees the state.
RunState OrderedRunState() { return TheWorkerState().runState.load(); }

// The sectors of the block that lie on the device (all of them when its
// size is unknown).
std::uint32_t ReadableSectors(const DeviceHandle& device, Sector64 blockStart) {
  if (device.sectorLimit == 0) return kBlockSectors;
  if (blockStart >= device.sectorLimit) return 0;
  return static_cast<std::uint32_t>(std::min<Sector64>(kBlockSectors, device.sectorLimit - blockStart));
}

// Holes of a sparse image are zeros without a read.
void ReadBlock(const DeviceHandle& device, HoleSkippingReader& reader, ScanBlock& block) {
  const std::uint32_t count = ReadableSectors(device, block.firstSector);
  if (reader.Read(block.bytes, block.firstSector, count) == BlockContent::kHole) {
    std::fill(block.bytes.begin(), block.bytes.end(), std::uint8_t{0});
  } else {
    std::fill(block.bytes.begin() + std::size_t{count} * kSectorSize, block.bytes.end(), std::uint8_t{0});
  }
}

void InitialStatus(const DeepScanJob& job, StatusMessage& status) {
  status = StatusMessage{};
  status.kind = StatusKind::kScan;
  status.scan.sectorsToScan = job.volume.sectorCount;
  status.scan.sectorsScanned = kBlockSectors * job.state->AnalysedBlocks();
  for (const ScanRange& range : job.state->store.Ranges()) {
    for (const ScanFinding& f : range.findings) CountFinding(f.category, status.scan);
  }
}

}  // namespace

void AppendSearchFileVolume(const ScanRequest& /*request*/, const std::vector<ScanFinding>& findings,
                            const VolumeDescriptor& scanned, VolumeList& results) {
  results.push_back(BuildSearchFileVolume(findings, scanned));
}

std::vector<ScanFinding> AnalyseBlock(const ScanBlock& block, const DeviceHandle& device, ScanStatus& status) {
  std::vector<ScanFinding> findings;
  CollectBlockFindings(ByteView(block.bytes), block.firstSector, device, findings);
  for (const ScanFinding& f : findings) CountFinding(f.category, status);
  return findings;
}

void DiskFileScanReadThread(DeepScanJob& job, BlockRing& ring) {
  BeginWorker(kReadThreadName);
  DeviceHandle device = OpenVolumeOnDisk(job.volume);
  if (!device.IsOpen()) {
    RequestAbort();
    EndWorker(kReadThreadName);
    return;
  }
  ScanState& state = *job.state;
  HoleSkippingReader reader(device);
  while (CurrentRunState() == RunState::kRunning) {
    std::optional<Sector64> next = state.NextBlock();
    if (!next) break;
    // A block that is one hole of a sparse image is zeros, which hold no
    // finding: it passes to the analysis without a read or a slot.
    if (reader.IsHole(*next, ReadableSectors(device, *next))) {
      job.blocksRead.push_back(*next);
      ring.PassHole(*next);
      continue;
    }
    ScanBlock* slot = nullptr;
    while (slot == nullptr && !AbortRequested()) slot = ring.AcquireFree();
    if (slot == nullptr) break;  // aborted while the ring was full
    slot->firstSector = *next;
    ReadBlock(device, reader, *slot);
    job.blocksRead.push_back(*next);
    ring.Publish(slot);
  }
  job.readLosses = device.health->Counts();
  CloseDevice(device);
  RequestFinish();  // only when still running: an abort stays an abort
  EndWorker(kReadThreadName);
}

namespace {

// A second analysis thread: the block after the current one is classified
// beside it, and its findings are stored after the current block's, so the
// order of findings, counters and hints is that of one thread.
class BesideAnalysis {
 public:
  explicit BesideAnalysis(const DeviceHandle& device) : device_(device), thread_([this] { Run(); }) {}
  ~BesideAnalysis() {
    {
      std::lock_guard<std::mutex> lock(lock_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void Start(const ScanBlock& block) {
    {
      std::lock_guard<std::mutex> lock(lock_);
      block_ = &block;
      done_ = false;
    }
    changed_.notify_all();
  }
  std::vector<ScanFinding> Wait() {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return done_; });
    return std::move(findings_);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
      changed_.wait(lock, [this] { return quit_ || block_ != nullptr; });
      if (quit_) return;
      const ScanBlock* block = block_;
      block_ = nullptr;
      lock.unlock();
      std::vector<ScanFinding> findings;
      CollectBlockFindings(ByteView(block->bytes), block->firstSector, device_, findings);
      lock.lock();
      findings_ = std::move(findings);
      done_ = true;
      changed_.notify_all();
    }
  }

  const DeviceHandle& device_;
  std::mutex lock_;
  std::condition_variable changed_;
  const ScanBlock* block_ = nullptr;
  std::vector<ScanFinding> findings_;
  bool done_ = true;
  bool quit_ = false;
  std::thread thread_;
};

// What follows the classification of one block, in block order.
void StoreAnalysedBlock(Sector64 first, std::vector<ScanFinding>&& findings, ScanState& state,
                        StatusMessage& status) {
  status.scan.sectorsScanned += kBlockSectors;
  PostStatus(status);
  // Hints first: storing moves the findings away.
  QueueScanHints(findings, state);
  state.store.StoreBlockFindings(first, first + (kBlockSectors - 1), std::move(findings));
  state.map.Set(first, kBlockAnalysed);
}

}  // namespace

void DiskFileScanHandThread(DeepScanJob& job, BlockRing& ring) {
  BeginWorker(kHandThreadName);
  DeviceHandle device = OpenVolumeOnDisk(job.volume);
  ScanState& state = *job.state;
  StatusMessage status;
  InitialStatus(job, status);
  {
    BesideAnalysis beside(device);
    for (;;) {
      const RunState before = OrderedRunState();
      if (before == RunState::kAbort) break;
      ScanBlock* block = ring.TakeFull();
      if (const std::vector<Sector64> holes = ring.TakeHoles(); !holes.empty()) {
        for (Sector64 hole : holes) state.map.Set(hole, kBlockAnalysed);
        status.scan.sectorsScanned += holes.size() * kBlockSectors;  // as a block read is counted
        PostStatus(status);
      }
      if (block == nullptr) {
        if (before == RunState::kFinished) {
          FinishScan(job, device);
          break;
        }
        continue;
      }
      ScanBlock* next = ring.TryTakeFull();
      if (next != nullptr) beside.Start(*next);
      const Sector64 first = block->firstSector;
      std::vector<ScanFinding> findings = AnalyseBlock(*block, device, status.scan);
      ring.Release(block);
      StoreAnalysedBlock(first, std::move(findings), state, status);
      if (next == nullptr) continue;
      const Sector64 nextFirst = next->firstSector;
      std::vector<ScanFinding> nextFindings = beside.Wait();
      ring.Release(next);
      for (const ScanFinding& f : nextFindings) CountFinding(f.category, status.scan);
      StoreAnalysedBlock(nextFirst, std::move(nextFindings), state, status);
    }
  }
  CloseDevice(device);
  EndWorker(kHandThreadName);
}

void FinishScan(DeepScanJob& job, const DeviceHandle& device) {
  // Taken out of the store and put back after: the store stays whole for
  // reuse, and the findings are held once.
  std::vector<ScanFinding> findings = job.state->store.TakeFindings();
  const Sector64 areaEnd = job.volume.startSector + job.volume.sectorCount;
  AssignFileExtents(findings, areaEnd);
  // Only the file searches show the files found; the lost-partition search
  // need not read them.
  if (job.request.mode != kScanLostPartitions) RefineFileExtents(findings, device, areaEnd);
  job.results.clear();
  if (job.finish) job.finish(job.request, findings, job.volume, job.results);
  job.state->store.PutBack(std::move(findings));
  job.finished = true;
}

bool RunDeepScan(DeepScanJob& job, ProgressPresenter& presenter) {
  if (job.state == nullptr) return false;
  ScanState& state = *job.state;
  Sector64 first = 0, last = 0;
  ScanBlockRange(job.volume, first, last);
  if (!state.prepared || state.firstBlock != first || state.lastBlock != last) {
    state.DiscardScanState();
    state.PrepareScan(job.volume, job.request);
  }
  CategoryNames();
  job.finished = false;
  job.results.clear();
  job.blocksRead.clear();
  BlockRing ring;
  const bool finished = RunWorkersWithProgress(
      {[&job, &ring] { DiskFileScanReadThread(job, ring); }, [&job, &ring] { DiskFileScanHandThread(job, ring); }},
      true, presenter);
  state.ReleaseClaimedBlocks();
  return finished && job.finished;
}

}  // namespace kestrum
