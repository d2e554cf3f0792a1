#include "rebuild/exfat_entry_volumes.h"

#include <algorithm>
#include <unordered_set>

#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/tree/node_array.h"

namespace kestrum {

namespace {

constexpr std::uint32_t kMinRuns = 4;
constexpr std::uint32_t kSelectPercent = 80;
// A directory read from the grid, as the rebuild reads it, is at most this long.
constexpr std::uint64_t kGridDirectoryBytes = 65536;
constexpr std::uint32_t kMaxClusterShift = 19;

// The runs of the first quarter that, with every later run a whole number of
// clusters away, make up more than 80 % of all runs.
bool SelectAlignedRuns(const std::vector<DirectoryRun>& runs, std::uint32_t spc, std::vector<DirectoryRun>& out) {
  if (runs.size() < kMinRuns) return false;
  for (std::size_t anchor = 0; anchor < runs.size() / 4; ++anchor) {
    out.assign(1, runs[anchor]);
    for (std::size_t j = anchor + 1; j < runs.size(); ++j) {
      if ((runs[j].start - runs[anchor].start) % spc == 0) out.push_back(runs[j]);
    }
    if (out.size() * 100 / runs.size() > kSelectPercent) return true;
  }
  return false;
}

// The first cluster named by the first subdirectory's stream entry in a
// run's sectors; false at an end mark or a deleted file entry before it.
bool FirstSubdirectoryCluster(ByteView bytes, std::uint32_t& cluster) {
  bool armed = false;
  for (std::size_t at = 0; at + exfatentry::kSize <= bytes.size(); at += exfatentry::kSize) {
    const std::uint8_t type = ReadLe8(bytes, at + exfatentry::kType);
    if (type == exfatentry::kEndOfDirectory || type == exfatentry::kDeletedFile) return false;
    if (type == exfatentry::kFile) {
      armed = (ReadLe16(bytes, at + exfatfile::kAttributes) & exfatfile::kAttrDirectory) != 0;
    } else if (type == exfatentry::kStream && armed) {
      cluster = ReadLe32(bytes, at + exfatstream::kFirstCluster);
      return true;
    }
  }
  return false;
}

// The heap's first sector: each run's first subdirectory is taken to be the
// next run, and the start that most of them agree on wins (the earliest
// among equals).
bool VoteHeapStart(const DeviceHandle& device, const std::vector<DirectoryRun>& selected, std::uint32_t spc,
                   Sector64& heap) {
  std::vector<std::pair<Sector64, std::uint32_t>> votes;  // candidate, count
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < selected.size(); ++i) {
    bytes.assign(std::size_t{selected[i].sectors} * kSectorSize, 0);
    ReadSectorsMapped(device, bytes, selected[i].start, selected[i].sectors, nullptr);
    std::uint32_t k = 0;
    if (!FirstSubdirectoryCluster(bytes, k)) continue;
    const std::uint64_t offset = std::uint64_t{spc} * k;
    if (offset >= selected[i + 1].start) continue;
    const Sector64 candidate = selected[i + 1].start - offset;
    auto known = std::find_if(votes.begin(), votes.end(), [&](const auto& v) { return v.first == candidate; });
    if (known != votes.end()) {
      ++known->second;
    } else {
      votes.emplace_back(candidate, 1);
    }
  }
  if (votes.empty()) return false;
  auto best = votes.begin();
  for (auto v = votes.begin(); v != votes.end(); ++v) {
    if (v->second > best->second) best = v;
  }
  heap = best->first + 2ull * spc;
  return true;
}

std::uint8_t ClusterShift(std::uint32_t spc) {
  std::uint8_t i = 0;
  while (i < kMaxClusterShift && (spc >> i) >= 2) ++i;
  return i;
}

}  // namespace

std::vector<DirectoryRun> ExfatDirectoryRuns(const std::vector<ScanFinding>& findings) {
  std::vector<DirectoryRun> runs;
  for (const ScanFinding& f : findings) {
    if (f.category != kCategoryExfatRootDir && f.category != kCategoryExfatDir) continue;
    if (!runs.empty() && runs.back().start + runs.back().sectors == f.sector) {
      ++runs.back().sectors;
    } else if (runs.empty() || f.sector >= runs.back().start + runs.back().sectors) {
      runs.push_back({f.sector, 1});
    }
  }
  return runs;
}

bool RebuildExfatFromFindings(const DeviceHandle& device, const std::vector<ScanFinding>& findings,
                              VolumeList& rebuilt) {
  const std::vector<DirectoryRun> runs = ExfatDirectoryRuns(findings);
  if (runs.empty()) return false;
  // The stride only needs the low bits: gaps taken modulo 2^32 keep their
  // powers of two.
  std::vector<std::uint32_t> starts;
  for (const DirectoryRun& r : runs) starts.push_back(static_cast<std::uint32_t>(r.start));
  std::uint32_t spc = 0;
  if (!EstimateClusterStride(starts, spc) || spc == 0) return false;
  std::vector<DirectoryRun> selected;
  if (!SelectAlignedRuns(runs, spc, selected)) return false;
  Sector64 heap = 0;
  if (!VoteHeapStart(device, selected, spc, heap)) return false;
  for (const VolumeDescriptor& v : rebuilt) {
    if (v.fsKind == kFsExfat && v.startSector + ReadLe32(v.bootSector, exfatboot::kHeapOffset) == heap) {
      return false;  // the volume its boot sector gave
    }
  }

  VolumeDescriptor volume;
  volume.fsKind = kFsRebuiltExfat;
  // No partition type: the export then copies by FsKind, contiguously.
  volume.sectorCount = kUnknownVolumeSectors;
  volume.foundBy = FoundBy::kExfatEntries;
  volume.bootSector[exfatboot::kClusterShift] = ClusterShift(spc);
  // The boot sector's heap offset is 32 bits: the volume starts at the
  // 2^32-sector boundary below the heap (sector 0 on smaller disks).
  volume.startSector = heap & ~Sector64{0xFFFFFFFF};
  WriteLe32(volume.bootSector, exfatboot::kHeapOffset, static_cast<std::uint32_t>(heap - volume.startSector));
  AddRootNode(volume);
  // Every run on the grid is read once: as a directory of its own, or as a
  // subdirectory reached from one read before, so nothing is listed twice.
  ExfatDirectoryWalk walk;
  std::unordered_set<std::uint32_t> readClusters;
  for (const DirectoryRun& run : selected) {
    if (run.start < heap || (run.start - heap) % spc != 0) continue;
    const auto cluster = static_cast<std::uint32_t>((run.start - heap) / spc + kExfatFirstCluster);
    if (readClusters.count(cluster) != 0) continue;
    ReadExfatDirectory(device, volume, cluster, kGridDirectoryBytes, kRootNodeId, false, &walk);
    readClusters.insert(walk.clusters.begin(), walk.clusters.end());
    readClusters.insert(cluster);
  }
  LinkNodes(NodesOf(volume).nodes);
  rebuilt.push_back(std::move(volume));
  return true;
}

}  // namespace kestrum
