#pragma once
// The walks of the files found by content, taken while the scan goes on, on
// a thread of their own, each once the finding after it is known (which
// gives the file its length): the cores the reading leaves idle do what the
// finish would do after the last read, and each file is read back while the
// page cache still holds it. The finish takes a walk only where its
// finding's sector, category and length are the ones walked
// (RefineFileExtents), so findings that come in another order (a resumed
// scan, a region read first) are walked again where they differ.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "scan/refine_file_extents.h"

namespace kestrum {

class EarlyFileWalks {
 public:
  // The area scanned: its disk is opened read-only for the walks.
  explicit EarlyFileWalks(const VolumeDescriptor& area);
  ~EarlyFileWalks();
  EarlyFileWalks(const EarlyFileWalks&) = delete;
  EarlyFileWalks& operator=(const EarlyFileWalks&) = delete;

  // The findings of the next block analysed, in sector order.
  void AddBlock(const std::vector<ScanFinding>& findings);
  // Ends the walking and gives what was walked, in sector order: once
  // every file handed over is walked with `walkAll`, else at once, the walk
  // under way cut short and dropped (the finish walks the rest itself, on
  // every core).
  std::vector<FirstFileWalk> Finish(bool walkAll = false);

 private:
  void Walk();
  void Stop(bool walkAll);

  DeviceHandle device_;
  SectorReadFn read_;
  Sector64 areaEnd_;
  std::optional<ScanFinding> pending_;  // the last file finding, the one after it not yet seen
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<ScanFinding> queue_;
  std::vector<FirstFileWalk> walked_;
  bool quit_ = false;
  bool walkAll_ = false;  // with quit_: only once the queue is empty
  // The walk under way is to end now: its reads fail, and it is not kept.
  std::atomic<bool> cut_{false};
  std::thread worker_;
};

}  // namespace kestrum
