#pragma once
// Every finding of a scan, kept in ranges of analysed blocks in ascending
// sector order, so that blocks read out of order still come out sorted and a
// block stored twice is recognised.

#include <cstddef>
#include <vector>

#include "disk/sector.h"
#include "scan/scan_finding.h"

namespace kestrum {

struct ScanRange {
  Sector64 first = 0;  // both inclusive
  Sector64 last = 0;
  std::vector<ScanFinding> findings;  // in sector order
};

class FindingStore {
 public:
  // Merges the findings of the block [first, last]; skipped when empty,
  // discarded when the block overlaps a range stored before. Ranges that
  // become adjacent are not merged.
  void StoreBlockFindings(Sector64 first, Sector64 last, std::vector<ScanFinding>&& findings);
  // Every finding, range by range: ascending sector order.
  std::vector<ScanFinding> CollectFindings() const;
  // The same, moved out: the ranges keep their bounds but no findings, so a
  // finish step holds the findings once, not twice. PutBack returns them.
  std::vector<ScanFinding> TakeFindings();
  void PutBack(std::vector<ScanFinding>&& findings);
  std::size_t FindingCount() const;
  void Clear() { ranges_.clear(); }

  const std::vector<ScanRange>& Ranges() const { return ranges_; }
  // For loading a saved store: ranges must already be in order and apart.
  std::vector<ScanRange>& MutableRanges() { return ranges_; }

 private:
  std::vector<ScanRange> ranges_;
  std::vector<std::size_t> takenCounts_;  // per range, while taken
};

}  // namespace kestrum
