#include "scan/refine_file_extents.h"

#include <algorithm>

#include "run/worker_state.h"
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

}  // namespace

void RefineFileExtents(std::vector<ScanFinding>& findings, const SectorReadFn& read, Sector64 areaEnd) {
  Sector64 covered = 0;  // the sector just past the last file whose structure held
  for (std::size_t i = 0; i < findings.size(); ++i) {
    ScanFinding& finding = findings[i];
    if (!IsFileCategory(finding.category)) continue;
    finding.insideEarlierFile = finding.sector < covered;
    if (finding.insideEarlierFile) continue;
    const FileFormat& format = FileFormatOf(finding.category);
    if (format.finder == nullptr) continue;
    if (AbortRequested()) return;
    const Sector64 start = FileStartSector(finding);
    const std::uint64_t room = areaEnd > start ? (areaEnd - start) * kSectorSize : 0;
    const std::uint64_t limit = std::min(finding.FileLength(), room);
    Walk walk = WalkFile(format.finder, read, start, limit);
    if (!walk.end && walk.hitLimit && format.holdsFiles) {
      walk.end = WalkPastHeldFiles(findings, i, format.finder, read, start, areaEnd);
    }
    if (walk.end) {
      SetLength(finding, *walk.end);
      finding.recovery = kRecoveryGood;
      covered = std::max(covered, start + SectorsOf(*walk.end));
    } else {
      finding.recovery = kRecoveryUnverified;
    }
  }
}

void RefineFileExtents(std::vector<ScanFinding>& findings, const DeviceHandle& device, Sector64 areaEnd) {
  SectorReadFn read = [&device](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
    return ReadSectors(device, out, sector, count);
  };
  RefineFileExtents(findings, read, areaEnd);
}

}  // namespace kestrum
