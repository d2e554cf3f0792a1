#include "scan/scan_pipeline.h"

#include <algorithm>

#include "run/worker_state.h"
#include "scan/block_analysis.h"
#include "scan/block_reads.h"
#include "scan/early_file_walks.h"
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
                            const VolumeDescriptor& scanned, bool /*wholeArea*/, VolumeList& results) {
  results.push_back(BuildSearchFileVolume(findings, scanned));
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
  // A pause ends the reading as an abort does.
  FillRing(
      device, ring,
      [&]() -> std::optional<RingBlock> {
        if (CurrentRunState() != RunState::kRunning) return std::nullopt;
        const std::optional<Sector64> next = state.NextBlock();
        if (!next) return std::nullopt;
        return RingBlock{*next, ReadableSectors(device, *next)};
      },
      [&job](Sector64 first) { job.blocksRead.push_back(first); });
  job.readLosses = device.health->Counts();
  CloseDevice(device);
  RequestFinish();  // only when still running: an abort stays an abort
  ring.Close();
  EndWorker(kReadThreadName);
}

namespace {

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
    // One block a thread at a time: the rest of the ring stays free for the
    // reader to run ahead.
    ParallelBlockAnalysis analysis(device, AnalysisThreads(kRingSlots - 1));
    // Only the file searches walk the files found.
    std::optional<EarlyFileWalks> early;
    if (job.request.mode != kScanLostPartitions) early.emplace(job.volume);
    for (;;) {
      const RunState before = OrderedRunState();
      if (before == RunState::kAbort) break;
      while (analysis.Pending() < analysis.Threads()) {
        ScanBlock* block = analysis.Pending() == 0 ? ring.TakeFull() : ring.TryTakeFull();
        if (block == nullptr) break;
        analysis.Submit(ByteView(block->bytes), block->firstSector, block);
      }
      if (const std::vector<Sector64> holes = ring.TakeHoles(); !holes.empty()) {
        for (Sector64 hole : holes) state.map.Set(hole, kBlockAnalysed);
        status.scan.sectorsScanned += holes.size() * kBlockSectors;  // as a block read is counted
        PostStatus(status);
      }
      if (analysis.Pending() == 0) {
        if (before == RunState::kFinished) {
          FinishScan(job, device, early ? early->Finish() : std::vector<FirstFileWalk>{});
          break;
        }
        continue;
      }
      ParallelBlockAnalysis::Result done = analysis.TakeOldest();
      auto* block = static_cast<ScanBlock*>(done.tag);
      const Sector64 first = block->firstSector;
      ring.Release(block);
      for (const ScanFinding& f : done.findings) CountFinding(f.category, status.scan);
      if (early) early->AddBlock(done.findings);
      StoreAnalysedBlock(first, std::move(done.findings), state, status);
    }
  }
  CloseDevice(device);
  EndWorker(kHandThreadName);
}

void FinishScan(DeepScanJob& job, const DeviceHandle& device, std::span<const FirstFileWalk> early) {
  // Taken out of the store and put back after: the store stays whole for
  // reuse, and the findings are held once.
  std::vector<ScanFinding> findings = job.state->store.TakeFindings();
  const Sector64 areaEnd = job.volume.startSector + job.volume.sectorCount;
  AssignFileExtents(findings, areaEnd);
  // Only the file searches show the files found; the lost-partition search
  // need not read them.
  if (job.request.mode != kScanLostPartitions) RefineFileExtents(findings, device, areaEnd, early);
  job.results.clear();
  if (job.finish) job.finish(job.request, findings, job.volume, job.state->AllBlocksAnalysed(), job.results);
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
