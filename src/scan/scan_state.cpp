#include "scan/scan_state.h"

#include <algorithm>
#include <atomic>

#include "base/catalog.h"

namespace kestrum {

void BlockMap::Reset(Sector64 deviceSectors) {
  states_.assign(static_cast<std::size_t>(BlocksFor(deviceSectors)), 0);
}

BlockState BlockMap::Get(Sector64 blockStart) const {
  const std::size_t index = blockStart / kBlockSectors;
  if (index >= states_.size()) return kBlockUnread;
  auto& byte = const_cast<std::uint8_t&>(states_[index]);
  return static_cast<BlockState>(std::atomic_ref<std::uint8_t>(byte).load(std::memory_order_relaxed));
}

void BlockMap::Set(Sector64 blockStart, BlockState state) {
  const std::size_t index = blockStart / kBlockSectors;
  if (index >= states_.size()) return;
  std::atomic_ref<std::uint8_t>(states_[index]).store(state, std::memory_order_relaxed);
}

void ScanBlockRange(const VolumeDescriptor& volume, Sector64& firstBlock, Sector64& lastBlock) {
  const Sector64 first = volume.startSector;
  const Sector64 end = first + volume.sectorCount;
  firstBlock = BlockStartOf(first);
  // The block of the last sector: the area's end is not itself read.
  lastBlock = end > first ? BlockStartOf(end - 1) : firstBlock;
}

void ScanState::PrepareScan(const VolumeDescriptor& volume, const ScanRequest& request) {
  const Sector64 deviceSectors =
      std::max<Sector64>(volume.diskSectors, Sector64{volume.startSector} + volume.sectorCount);
  map.Reset(deviceSectors);
  store.Clear();
  identity = volume.diskDescription;
  ScanBlockRange(volume, firstBlock, lastBlock);
  nextBlock = firstBlock;
  prepared = true;

  std::lock_guard<std::mutex> lock(priorityLock_);
  priority_.clear();
  // The user's region, at least one block, and nothing past the device (a
  // region of any length must not become a list of billions of blocks).
  const Sector64 regionFirst = BlockStartOf(request.priorityStart);
  const Sector64 regionEnd = std::max(
      regionFirst, std::min(deviceSectors, request.priorityStart + std::min(request.priorityLength,
                                                                          UINT64_MAX - request.priorityStart)));
  for (Sector64 block = regionFirst; block <= regionEnd; block += kBlockSectors) {
    priority_.push_back(block);
  }
  const Sector64 areaFirst = volume.startSector;
  const Sector64 areaEnd = areaFirst + volume.sectorCount;
  auto addMarks = [&](Sector64 step) {
    for (Sector64 mark = areaFirst - areaFirst % step; mark <= areaEnd; mark += step) {
      if (mark >= areaFirst) priority_.push_back(mark);
    }
  };
  if (volume.sectorCount > kGibMarksAbove) addMarks(kGibMarkSectors);
  addMarks(kHundredMibMarkSectors);
}

void ScanState::DiscardScanState() {
  identity.clear();
  prepared = false;
  map.Reset(0);
  store.Clear();
  firstBlock = 0;
  lastBlock = 0;
  nextBlock = 0;
  std::lock_guard<std::mutex> lock(priorityLock_);
  priority_.clear();
}

std::optional<Sector64> ScanState::NextBlock() {
  {
    std::lock_guard<std::mutex> lock(priorityLock_);
    while (!priority_.empty()) {
      const Sector64 block = BlockStartOf(priority_.front());
      priority_.pop_front();
      if (!map.Holds(block)) return block;
      if (map.Get(block) == kBlockUnread) {
        map.Set(block, kBlockClaimed);
        return block;
      }
    }
  }
  for (Sector64 block = nextBlock; block <= lastBlock; block += kBlockSectors) {
    const Sector64 start = block;
    if (map.Get(start) != kBlockUnread) continue;
    map.Set(start, kBlockClaimed);
    nextBlock = block + kBlockSectors;
    return start;
  }
  nextBlock = Sector64{lastBlock} + kBlockSectors;
  return std::nullopt;
}

void ScanState::QueueBlock(Sector64 sector) {
  if (sector < firstBlock || sector >= Sector64{lastBlock} + kBlockSectors) return;
  std::lock_guard<std::mutex> lock(priorityLock_);
  priority_.push_front(BlockStartOf(sector));
}

void ScanState::ReleaseClaimedBlocks() {
  for (Sector64 block = firstBlock; block <= lastBlock; block += kBlockSectors) {
    const Sector64 start = block;
    if (map.Get(start) != kBlockClaimed) continue;
    map.Set(start, kBlockUnread);
    nextBlock = std::min<Sector64>(nextBlock, start);
  }
  // Priority blocks outside the map are never marked; nothing to release there.
}

std::uint32_t ScanState::AnalysedBlocks() const {
  std::uint32_t count = 0;
  for (Sector64 block = firstBlock; block <= lastBlock; block += kBlockSectors) {
    if (map.Get(block) == kBlockAnalysed) ++count;
  }
  return count;
}

bool ScanState::Matches(const std::u16string& description, const VolumeDescriptor& volume) const {
  if (!prepared || identity != description) return false;
  Sector64 first = 0, last = 0;
  ScanBlockRange(volume, first, last);
  return first == firstBlock && last == lastBlock;
}

std::vector<Sector64> ScanState::PriorityBlocks() const {
  std::lock_guard<std::mutex> lock(priorityLock_);
  return {priority_.begin(), priority_.end()};
}

void ScanState::SetPriorityBlocks(const std::vector<Sector64>& blocks) {
  std::lock_guard<std::mutex> lock(priorityLock_);
  priority_.assign(blocks.begin(), blocks.end());
}

bool OfferReuse(ScanState& state, const VolumeDescriptor& volume, const ScanRequest& request,
                const std::function<bool(const std::u16string&)>& ask) {
  if (!state.identity.empty() && state.Matches(volume.diskDescription, volume) && ask &&
      ask(Tr(kReuseQuestion))) {
    return true;
  }
  state.DiscardScanState();
  state.PrepareScan(volume, request);
  return false;
}

}  // namespace kestrum
