#pragma once
// What a deep scan keeps between runs over the same device and area: which
// blocks were read, where the sequential pass stands, the blocks still to be
// read first, and every finding so far. The reader claims blocks, the
// analysis marks them analysed and queues the blocks its findings point at.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "disk/volume_descriptor.h"
#include "scan/finding_store.h"
#include "scan/scan_request.h"

namespace kestrum {

// A scan block is 8192 sectors on the grid of multiples of 8192.
constexpr Sector64 kBlockSectors = 8192;
// Marks of the priority list: every 1 GiB (areas above 2 GiB) and every 100 MiB.
constexpr Sector64 kGibMarkSectors = 2097152;
constexpr Sector64 kGibMarksAbove = 4194304;
constexpr Sector64 kHundredMibMarkSectors = 204800;

inline Sector64 BlockStartOf(Sector64 sector) { return sector - sector % kBlockSectors; }

enum BlockState : std::uint8_t {
  kBlockUnread = 0,
  kBlockClaimed = 1,   // handed to the reader
  kBlockAnalysed = 2,  // findings stored
};

// One state byte per block of the whole device. The reader and the analysis
// write different blocks' bytes; reads of a byte the other thread may be
// writing are atomic.
class BlockMap {
 public:
  void Reset(Sector64 deviceSectors);
  // The map's size for a device of this many sectors.
  static std::uint64_t BlocksFor(Sector64 deviceSectors) { return deviceSectors / kBlockSectors + (deviceSectors % kBlockSectors != 0); }
  std::size_t Size() const { return states_.size(); }
  bool Holds(Sector64 blockStart) const { return blockStart / kBlockSectors < states_.size(); }
  BlockState Get(Sector64 blockStart) const;
  void Set(Sector64 blockStart, BlockState state);

  std::vector<std::uint8_t>& Bytes() { return states_; }
  const std::vector<std::uint8_t>& Bytes() const { return states_; }

 private:
  std::vector<std::uint8_t> states_;
};

class ScanState {
 public:
  // The device the state belongs to (its description); empty: nothing kept.
  std::u16string identity;
  Sector64 firstBlock = 0;  // both on the block grid, inclusive
  Sector64 lastBlock = 0;
  Sector64 nextBlock = 0;   // where the sequential pass continues (past lastBlock: done)
  bool prepared = false;
  BlockMap map;
  FindingStore store;

  // Fresh: zeroed map, new priority list, the descriptor's identity and range.
  void PrepareScan(const VolumeDescriptor& volume, const ScanRequest& request);
  // Forgets everything, identity included.
  void DiscardScanState();

  // The reader's next block, or nothing when every block is done.
  std::optional<Sector64> NextBlock();
  // Puts the block holding `sector` at the front of the priority list when
  // it lies within the block range.
  void QueueBlock(Sector64 sector);

  // Blocks claimed but never analysed (a stopped scan) go back to unread,
  // and the sequential pass moves back to the first of them.
  void ReleaseClaimedBlocks();
  // Blocks of the range whose findings are stored.
  std::uint32_t AnalysedBlocks() const;
  // Every block from firstBlock to lastBlock is analysed: the findings are
  // all the area holds.
  bool AllBlocksAnalysed() const { return AnalysedBlocks() == (lastBlock - firstBlock) / kBlockSectors + 1; }

  // Whether the kept state is of this device and area.
  bool Matches(const std::u16string& description, const VolumeDescriptor& volume) const;

  std::vector<Sector64> PriorityBlocks() const;
  void SetPriorityBlocks(const std::vector<Sector64>& blocks);

 private:
  mutable std::mutex priorityLock_;
  std::deque<Sector64> priority_;
};

// The block range a scan of `volume` covers: from the block of its first
// sector to the block of its last sector (an empty area: its first block).
void ScanBlockRange(const VolumeDescriptor& volume, Sector64& firstBlock, Sector64& lastBlock);

// The question asked before an earlier scan of the device is reused.
inline constexpr char16_t kReuseQuestion[] = u"上次扫描过此设备，是否复用上次扫描的数据?";

// Keeps the state when it is of the same device and area and `ask` answers
// Yes; otherwise discards it and prepares a fresh scan. An empty
// description is never offered reuse. Returns whether the state was reused.
bool OfferReuse(ScanState& state, const VolumeDescriptor& volume, const ScanRequest& request,
                const std::function<bool(const std::u16string&)>& ask);

}  // namespace kestrum
