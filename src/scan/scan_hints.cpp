#include "scan/scan_hints.h"

#include "base/byte_order.h"
#include "fs/fat/fat_layout.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"
#include "scan/mft_runs.h"

namespace kestrum {

namespace {

void QueueMftHints(const std::vector<ScanFinding>& findings, ScanState& state) {
  std::size_t records = 0;
  for (const MftRun& run : GroupMftRuns(findings)) {
    records += run.Count();
    if (!run.mftMark || run.Count() < kMinMarkedRunRecords) continue;
    InferredNtfsStart guess;
    if (InferNtfsVolumeStart(findings, run, guess)) state.QueueBlock(guess.start);
  }
  // A block of records: where the MFT would begin if it were contiguous,
  // from the first record that knows its own number.
  if (findings.front().category != kCategoryFileRecord || records < kMftBlockRecords) return;
  for (const ScanFinding& f : findings) {
    if (f.category != kCategoryFileRecord || f.wordB == 0) continue;
    const std::uint64_t back = 2 * std::uint64_t{f.wordB};
    if (f.sector > back) state.QueueBlock(f.sector - back);
    return;
  }
}

void QueueBootHints(const ScanFinding& f, ScanState& state) {
  const Sector64 sector = f.sector;
  if (sector > kBlockSectors) state.QueueBlock(sector - kBlockSectors);
  const ByteView boot = f.SectorCopy();
  if (f.category == kCategoryNtfsBoot) {
    const std::uint64_t total = ntfs::BootSectorVolumeSectors(boot);
    const Sector64 end = sector + total;
    state.QueueBlock(end);
    state.QueueBlock(end + kBlockSectors);
    // A backup boot sector at a volume's end: the volume's start lies below.
    if (total < sector) {
      const Sector64 start = sector - total;
      state.QueueBlock(start);
      if (start >= kBlockSectors) state.QueueBlock(start - kBlockSectors);
    }
  } else {
    const Sector64 end = sector + FatVolumeSectors(boot);
    state.QueueBlock(end);
    state.QueueBlock(end + kBlockSectors);
  }
}

}  // namespace

void QueueScanHints(const std::vector<ScanFinding>& blockFindings, ScanState& state) {
  if (blockFindings.empty()) return;
  QueueMftHints(blockFindings, state);
  for (const ScanFinding& f : blockFindings) {
    if (f.category == kCategoryNtfsBoot || f.category == kCategoryFat16Boot ||
        f.category == kCategoryFat32Boot) {
      QueueBootHints(f, state);
    }
  }
}

}  // namespace kestrum
