#include "scan/refine_file_extents.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "run/worker_state.h"
#include "scan/block_analysis.h"
#include "scan/file_ends/file_end.h"
#include "scan/file_extents.h"

namespace kestrum {
namespace {

void SetLength(ScanFinding& finding, std::uint64_t bytes) {
  finding.wordA = static_cast<std::uint32_t>(bytes);
  finding.wordB = static_cast<std::uint32_t>(bytes >> 32);
}

std::uint64_t SectorsOf(std::uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

struct Walk {
  FileEnd end;
  bool hitLimit = false;
};

Walk WalkFile(FileEndFinder finder, const SectorReadFn& read, Sector64 start, std::uint64_t limit) {
  if (limit == 0) return {};
  ByteSource source(read, start, limit);
  FileEnd end = finder(source);
  if (end && (*end == 0 || *end > limit)) end.reset();
  return {end, source.HitLimit()};
}

// Whether the files found inside the file at `start` that ends at `end`
// are parts of it: each of them, walked up to `limit` (the sector the outer
// walk was bounded by), holds and ends inside it. One that runs past its
// end, or breaks, may be the next file on the disk after a file cut short
// whose structure only seemed to go on: then nothing is taken as inside.
bool HoldsWhatLiesInside(const std::vector<ScanFinding>& findings, std::size_t i, const SectorReadFn& read,
                         Sector64 start, std::uint64_t end, Sector64 limit) {
  for (std::size_t j = i + 1; j < findings.size() && (findings[j].sector - start) * kSectorSize < end; ++j) {
    const FileEndFinder finder = FileFormatOf(findings[j].category).finder;
    const Sector64 inner = FileStartSector(findings[j]);
    if (finder == nullptr || inner < start || inner >= limit) continue;
    Walk walk = WalkFile(finder, read, inner, (limit - inner) * kSectorSize);
    if (!walk.end || (inner - start) * kSectorSize + *walk.end > end) return false;
  }
  return true;
}

// A walk of a file that can hold others, cut by the file findings after
// it: tried again past 1, 2, 4, … of them, never past a finding of any
// other kind, the area's end or the longest extent a file is given.
FileEnd WalkPastHeldFiles(const std::vector<ScanFinding>& findings, std::size_t i, FileEndFinder finder,
                          const SectorReadFn& read, Sector64 start, Sector64 areaEnd) {
  const Sector64 cap = std::min<Sector64>(areaEnd, start + kMaxFileExtentSectors);
  std::size_t files = 0;  // file findings right after this one, before the cap
  while (i + 1 + files < findings.size() && IsFileCategory(findings[i + 1 + files].category) &&
         findings[i + 1 + files].sector < cap) {
    ++files;
  }
  if (files == 0) return std::nullopt;
  for (std::size_t past = 1;; past = std::min(past * 2, files)) {
    const std::size_t next = i + 1 + past;
    const Sector64 end = next < findings.size() ? std::min<Sector64>(findings[next].sector, cap) : cap;
    Walk walk = WalkFile(finder, read, start, (end - start) * kSectorSize);
    if (walk.end) return HoldsWhatLiesInside(findings, i, read, start, *walk.end, end) ? walk.end : std::nullopt;
    if (!walk.hitLimit || past == files) return std::nullopt;
  }
}

Walk FirstWalk(const ScanFinding& finding, const SectorReadFn& read, Sector64 areaEnd) {
  const Sector64 start = FileStartSector(finding);
  const std::uint64_t room = areaEnd > start ? (areaEnd - start) * kSectorSize : 0;
  return WalkFile(FileFormatOf(finding.category).finder, read, start, std::min(finding.FileLength(), room));
}

// The early walk of `finding`, when one was taken with its length.
const FirstFileWalk* EarlyWalkOf(const ScanFinding& finding, std::span<const FirstFileWalk> early) {
  auto it = std::lower_bound(early.begin(), early.end(), finding.sector,
                             [](const FirstFileWalk& walk, Sector64 sector) { return walk.sector < sector; });
  for (; it != early.end() && it->sector == finding.sector; ++it) {
    if (it->category == finding.category && it->length == finding.FileLength()) return &*it;
  }
  return nullptr;
}

// The walk of the file findings[i] begins, bounded by its extent and by
// the findings after it: it depends on no other walk's result.
Walk WalkFinding(const std::vector<ScanFinding>& findings, std::size_t i, const SectorReadFn& read, Sector64 areaEnd,
                 std::span<const FirstFileWalk> early) {
  const ScanFinding& finding = findings[i];
  const FileFormat& format = FileFormatOf(finding.category);
  Walk walk;
  if (const FirstFileWalk* taken = EarlyWalkOf(finding, early)) {
    walk = {taken->end != 0 ? FileEnd{taken->end} : std::nullopt, taken->hitLimit};
  } else {
    walk = FirstWalk(finding, read, areaEnd);
  }
  if (!walk.end && walk.hitLimit && format.holdsFiles) {
    walk.end = WalkPastHeldFiles(findings, i, format.finder, read, FileStartSector(finding), areaEnd);
  }
  return walk;
}

// Findings whose walks run side by side before their results are taken.
constexpr std::size_t kStretch = 1024;

struct Walked {
  Walk walk;
  bool done = false;  // false: not walked, the run was aborted
};

// The walks of findings [from, to) on every core.
void WalkStretch(const std::vector<ScanFinding>& findings, std::size_t from, std::size_t to, const SectorReadFn& read,
                 Sector64 areaEnd, std::span<const FirstFileWalk> early, std::vector<Walked>& walked) {
  walked.assign(to - from, Walked{});
  std::atomic<std::size_t> next{from};
  auto work = [&] {
    for (std::size_t i = next++; i < to && !AbortRequested(); i = next++) {
      if (HasEndFinder(findings[i])) walked[i - from] = Walked{WalkFinding(findings, i, read, areaEnd, early), true};
    }
  };
  std::vector<std::thread> helpers;
  for (std::size_t t = 1; t < AnalysisThreads(to - from); ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace

bool HasEndFinder(const ScanFinding& finding) {
  return IsFileCategory(finding.category) && FileFormatOf(finding.category).finder != nullptr;
}

FirstFileWalk WalkFileFinding(const ScanFinding& finding, const SectorReadFn& read, Sector64 areaEnd) {
  const Walk walk = FirstWalk(finding, read, areaEnd);
  return {finding.sector, finding.FileLength(), walk.end.value_or(0), finding.category, walk.hitLimit};
}

void RefineFileExtents(std::vector<ScanFinding>& findings, const SectorReadFn& read, Sector64 areaEnd,
                       std::span<const FirstFileWalk> early) {
  Sector64 covered = 0;  // the sector just past the last file whose structure held
  std::vector<Walked> walked;
  for (std::size_t from = 0; from < findings.size(); from += kStretch) {
    const std::size_t to = std::min(findings.size(), from + kStretch);
    WalkStretch(findings, from, to, read, areaEnd, early, walked);
    // Taken in order: a file inside one whose structure held was walked for
    // nothing, and is passed over.
    for (std::size_t i = from; i < to; ++i) {
      ScanFinding& finding = findings[i];
      if (!IsFileCategory(finding.category)) continue;
      finding.insideEarlierFile = finding.sector < covered;
      if (finding.insideEarlierFile || !HasEndFinder(finding)) continue;
      const Walked& result = walked[i - from];
      if (!result.done) return;
      if (result.walk.end) {
        SetLength(finding, *result.walk.end);
        finding.recovery = kRecoveryGood;
        covered = std::max(covered, FileStartSector(finding) + SectorsOf(*result.walk.end));
      } else {
        finding.recovery = kRecoveryUnverified;
      }
    }
  }
}

void RefineFileExtents(std::vector<ScanFinding>& findings, const DeviceHandle& device, Sector64 areaEnd,
                       std::span<const FirstFileWalk> early) {
  SectorReadFn read = [&device](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
    return ReadSectors(device, out, sector, count);
  };
  RefineFileExtents(findings, read, areaEnd, early);
}

}  // namespace kestrum
