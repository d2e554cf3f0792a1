#pragma once
// The deep scan: a reader thread reads the device in 4 MiB blocks, priority
// blocks first, into a ring of eight; an analysis thread classifies every
// sector, keeps the findings in sector order in the scan state, posts the
// progress counters, queues the blocks its findings point at and, once every
// block is read (or "暂停" stopped the reading), hands the findings to the
// caller's finish step.

#include <atomic>
#include <functional>
#include <span>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "run/progress_runner.h"
#include "scan/block_ring.h"
#include "scan/refine_file_extents.h"
#include "scan/scan_finding.h"
#include "scan/scan_request.h"
#include "scan/scan_state.h"

namespace kestrum {

// Called once after the scan (all blocks read, or stopped with "暂停"), never
// after an abort. `findings`: every collected finding in ascending sector
// order, file lengths assigned. `scanned`: the scanned area's descriptor;
// `wholeArea`: every block of it was analysed, so the findings are all the
// area holds. Modes 3 and 4 fill `results`; mode 5 may ignore it.
using ScanFinishHook = std::function<void(const ScanRequest& request,
                                          const std::vector<ScanFinding>& findings,
                                          const VolumeDescriptor& scanned, bool wholeArea, VolumeList& results)>;

// The finish step that only appends the search-file volume.
void AppendSearchFileVolume(const ScanRequest& request, const std::vector<ScanFinding>& findings,
                            const VolumeDescriptor& scanned, bool wholeArea, VolumeList& results);

struct DeepScanJob {
  ScanRequest request;
  VolumeDescriptor volume;  // the scanned area; for a whole disk, the disk
  ScanState* state = nullptr;
  ScanFinishHook finish = AppendSearchFileVolume;
  VolumeList results;  // what the finish step produced
  bool finished = false;  // the finish step ran
  // Block starts in the order they were read (written by the reader only).
  std::vector<Sector64> blocksRead;
  // What the reader's reads lost on a failing disk (set when it ends).
  ReadCounts readLosses;
};

// Runs the scan behind `presenter` with "暂停" shown. The job's state must be
// prepared for this device and area (OfferReuse, or a loaded state file);
// an unprepared or foreign state is prepared afresh. True when the run state
// is "finished" at the end: the scan completed or was stopped with "暂停".
// The state keeps everything analysed, also after an abort; blocks handed to
// the reader but never analysed go back to unread.
bool RunDeepScan(DeepScanJob& job, ProgressPresenter& presenter);

// The two workers; RunDeepScan starts both.
void DiskFileScanReadThread(DeepScanJob& job, BlockRing& ring);
void DiskFileScanHandThread(DeepScanJob& job, BlockRing& ring);

// Collects the findings, assigns file lengths and calls the job's finish
// step; `device` is the scanned disk, open for reading. `early`: the files
// walked while the scan went on (EarlyFileWalks).
void FinishScan(DeepScanJob& job, const DeviceHandle& device, std::span<const FirstFileWalk> early = {});

}  // namespace kestrum
