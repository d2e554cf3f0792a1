#include "scan/early_file_walks.h"

#include <algorithm>

#include "run/worker_state.h"
#include "scan/file_extents.h"

namespace kestrum {

namespace {

// A shorter file costs the finish as little to walk as it would cost here
// to keep its walk (on an image dense with small findings, most of them).
constexpr std::uint64_t kEarlyWalkMinBytes = 64 * 1024;

}  // namespace

EarlyFileWalks::EarlyFileWalks(const VolumeDescriptor& area)
    : device_(OpenVolumeOnDisk(area)), areaEnd_(area.startSector + area.sectorCount) {
  if (!device_.IsOpen()) return;
  // A stop does not wait for the walk of a long file to end.
  read_ = [this](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
    return !cut_ && !AbortRequested() && ReadSectors(device_, out, sector, count);
  };
  worker_ = std::thread([this] { Walk(); });
}

EarlyFileWalks::~EarlyFileWalks() {
  Stop(false);
  CloseDevice(device_);
}

void EarlyFileWalks::Stop(bool walkAll) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
    walkAll_ = walkAll;
    cut_ = !walkAll;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void EarlyFileWalks::AddBlock(const std::vector<ScanFinding>& findings) {
  if (!worker_.joinable()) return;
  std::vector<ScanFinding> ready;
  for (const ScanFinding& finding : findings) {
    if (pending_) {
      AssignFileExtent(*pending_, finding.sector);
      if (pending_->FileLength() >= kEarlyWalkMinBytes) ready.push_back(*pending_);
      pending_.reset();
    }
    if (HasEndFinder(finding)) pending_ = finding;
  }
  if (ready.empty()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.insert(queue_.end(), ready.begin(), ready.end());
  }
  changed_.notify_all();
}

std::vector<FirstFileWalk> EarlyFileWalks::Finish(bool walkAll) {
  Stop(walkAll);
  std::sort(walked_.begin(), walked_.end(),
            [](const FirstFileWalk& a, const FirstFileWalk& b) { return a.sector < b.sector; });
  return std::move(walked_);
}

void EarlyFileWalks::Walk() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return quit_ || !queue_.empty(); });
    if ((quit_ && (!walkAll_ || queue_.empty())) || AbortRequested()) return;
    const ScanFinding finding = queue_.front();
    queue_.pop_front();
    hold.unlock();
    const FirstFileWalk walk = WalkFileFinding(finding, read_, areaEnd_);
    hold.lock();
    if (cut_ || AbortRequested()) return;
    walked_.push_back(walk);
    // A failing disk wants one read at a time: the scan's own. The finish
    // walks the rest.
    if (device_.health->Counts().retriedReads != 0) return;
  }
}

}  // namespace kestrum
