#include "scan/finding_store.h"

#include <algorithm>
#include <iterator>

namespace kestrum {

namespace {

bool Inside(Sector64 sector, const ScanRange& range) {
  return range.first <= sector && sector <= range.last;
}

}  // namespace

void FindingStore::StoreBlockFindings(Sector64 first, Sector64 last,
                                      std::vector<ScanFinding>&& findings) {
  if (findings.empty()) return;
  for (auto it = ranges_.begin(); it != ranges_.end(); ++it) {
    ScanRange& range = *it;
    if (Inside(first, range) || Inside(last, range)) return;  // stored before
    // 64-bit: a block ending at the top of the sector space has no successor.
    if (Sector64{last} + 1 == range.first) {
      range.findings.insert(range.findings.begin(), std::make_move_iterator(findings.begin()),
                            std::make_move_iterator(findings.end()));
      range.first = first;
      return;
    }
    if (first == Sector64{range.last} + 1) {
      // The next range may begin right after this block: the block still
      // belongs here, as it lies between the two.
      range.findings.insert(range.findings.end(), std::make_move_iterator(findings.begin()),
                            std::make_move_iterator(findings.end()));
      range.last = last;
      return;
    }
    if (Sector64{last} + 1 < range.first) {
      ranges_.insert(it, ScanRange{first, last, std::move(findings)});
      return;
    }
  }
  ranges_.push_back(ScanRange{first, last, std::move(findings)});
}

std::vector<ScanFinding> FindingStore::CollectFindings() const {
  std::vector<ScanFinding> out;
  out.reserve(FindingCount());
  for (const ScanRange& range : ranges_) out.insert(out.end(), range.findings.begin(), range.findings.end());
  return out;
}

std::vector<ScanFinding> FindingStore::TakeFindings() {
  std::vector<ScanFinding> out;
  out.reserve(FindingCount());
  takenCounts_.clear();
  for (ScanRange& range : ranges_) {
    takenCounts_.push_back(range.findings.size());
    std::move(range.findings.begin(), range.findings.end(), std::back_inserter(out));
    std::vector<ScanFinding>().swap(range.findings);  // freed range by range
  }
  return out;
}

void FindingStore::PutBack(std::vector<ScanFinding>&& findings) {
  // Ranges that meet end to end, as a whole scan leaves them, take the
  // findings back as one range, moved rather than copied: the search-file
  // volume made from them is alive by then, and a second copy would be the
  // finish's peak.
  const bool meet = std::adjacent_find(ranges_.begin(), ranges_.end(), [](const ScanRange& a, const ScanRange& b) {
                      return a.last + 1 != b.first;
                    }) == ranges_.end();
  if (meet && !ranges_.empty() && takenCounts_.size() == ranges_.size()) {
    ScanRange whole{ranges_.front().first, ranges_.back().last, std::move(findings)};
    ranges_.clear();
    ranges_.push_back(std::move(whole));
    takenCounts_.clear();
    findings.clear();
    return;
  }
  std::size_t at = 0;
  for (std::size_t r = 0; r < ranges_.size() && r < takenCounts_.size(); ++r) {
    const std::size_t count = std::min(takenCounts_[r], findings.size() - at);
    auto first = findings.begin() + static_cast<std::ptrdiff_t>(at);
    ranges_[r].findings.assign(std::make_move_iterator(first),
                               std::make_move_iterator(first + static_cast<std::ptrdiff_t>(count)));
    at += count;
  }
  takenCounts_.clear();
  findings.clear();
  findings.shrink_to_fit();
}

std::size_t FindingStore::FindingCount() const {
  std::size_t count = 0;
  for (const ScanRange& range : ranges_) count += range.findings.size();
  return count;
}

}  // namespace kestrum
