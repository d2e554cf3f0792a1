#include "scan/mft_runs.h"

#include <algorithm>

#include "fs/ntfs/run_list.h"

namespace kestrum {

namespace {

constexpr std::uint32_t kRecordSectors = 2;
// The mirror holds four records; with clusters of 4 KiB or less that is
// 4096 bytes in 4096 / cluster bytes clusters, and one cluster beyond that.
constexpr std::uint64_t kMirrorBytes = 4096;
constexpr std::uint32_t kMirrorSectors = 8;

bool FirstRun(const ScanFinding& record, RunEntry& out) {
  const ByteView list = record.Runs();
  if (record.dataLength == 0 || list.size() < record.dataLength) return false;
  std::vector<RunEntry> runs;
  if (!DecodeRunList(list.first(record.dataLength), runs)) return false;
  out = runs.front();
  return true;
}

bool NameStartsWithM(const ScanFinding& record) {
  return record.Name().starts_with(u"$M");
}

}  // namespace

std::vector<MftRun> GroupMftRuns(const std::vector<ScanFinding>& findings) {
  std::vector<MftRun> runs;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const ScanFinding& f = findings[i];
    if (f.category != kCategoryFileRecord) continue;
    if (!runs.empty()) {
      MftRun& run = runs.back();
      if (f.sector == run.firstSector + std::uint64_t{kRecordSectors} * run.Count()) {
        run.members.push_back(i);
        continue;
      }
    }
    MftRun next;
    next.members.push_back(i);
    next.firstSector = f.sector;
    next.mftMark = NameStartsWithM(f);
    runs.push_back(std::move(next));
  }
  return runs;
}

bool InferNtfsVolumeStart(const std::vector<ScanFinding>& findings, const MftRun& run,
                          InferredNtfsStart& out) {
  const std::uint32_t n = run.Count();
  if (n < 2) return false;
  const ScanFinding& first = findings[run.members[0]];
  const ScanFinding& mirror = findings[run.members[1]];
  std::uint32_t k = 0;
  if (mirror.size > kMirrorBytes) {
    k = static_cast<std::uint32_t>(std::min<std::uint64_t>(mirror.size / kSectorSize, 0xFFFFFFFFu));
  } else {
    RunEntry r;
    if (FirstRun(mirror, r) && r.length != 0 && r.length <= kMirrorSectors) {
      k = kMirrorSectors / static_cast<std::uint32_t>(r.length);
    }
  }
  if (k == 0) return false;
  const ScanFinding* chosen = nullptr;
  if (k >= 8) {
    chosen = n > k / 2 ? &first : &mirror;
  } else if (n > 4) {
    chosen = &first;
  } else if (n == 4) {
    chosen = &mirror;
  } else {
    return false;
  }
  RunEntry r;
  if (!FirstRun(*chosen, r) || r.delta < 0) return false;
  const std::uint64_t offset = std::uint64_t(r.delta) * k;
  if (run.firstSector < offset) return false;
  out.start = run.firstSector - offset;
  out.sectorsPerCluster = k;
  out.firstCluster = static_cast<std::uint64_t>(r.delta);
  return true;
}

}  // namespace kestrum
