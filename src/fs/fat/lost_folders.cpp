#include "fs/fat/lost_folders.h"

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "fs/fat/directory_entries.h"
#include "fs/fat/directory_start.h"
#include "fs/fat/fat_reader.h"
#include "fs/fat/fat_table.h"
#include "base/text.h"
#include "fs/tree/node_array.h"
#include "run/worker_state.h"

namespace kestrum {

namespace {

// Clusters of small size are read many at a time, large ones by their first sector.
constexpr std::uint32_t kChunkSectors = 2048;
constexpr std::uint32_t kWholeClustersUpTo = 16;

struct FoundFolder {
  std::uint32_t cluster = 0;
  std::uint32_t parent = 0;  // what its ".." names
  std::array<std::uint8_t, fatdir::kEntrySize> dot{};
};

// The clusters the chains of the tree's live files and folders hold.
std::vector<bool> ClaimedClusters(const VolumeDescriptor& volume, const FatGeometry& g, ByteView fat) {
  std::vector<bool> claimed(g.clusterCount);
  auto claim = [&](std::uint32_t c) {
    while (g.IsValidCluster(c) && !IsEndOfChain(g.width, c) && !claimed[c - kFirstDataCluster]) {
      claimed[c - kFirstDataCluster] = true;
      c = NextCluster(fat, g.width, c);
    }
  };
  if (g.fat32) claim(g.rootCluster);
  const NodeVector& nodes = NodesOf(volume)->nodes;
  for (std::size_t i = kRootNodeId + 1; i < nodes.size(); ++i) {
    if (!nodes[i].IsDeleted()) claim(nodes[i].location);
  }
  return claimed;
}

// Where lost folders are looked for. Clusters the FAT gives out that no
// chain of the tree holds are always searched: they are few, and where an
// entry was wiped its folder's chain is still there. The free clusters are
// most of a healthy volume, so reading them for every listing would read
// the whole free space; they are searched when the tree is empty (a quick
// format left only the label) or when the volume came from a deep scan,
// which reads the whole area anyway.
bool SearchFreeClusters(const VolumeDescriptor& volume) {
  if (volume.foundBy != FoundBy::kNotScanned) return true;
  const NodeVector& nodes = NodesOf(volume)->nodes;
  for (std::size_t i = kRootNodeId + 1; i < nodes.size(); ++i) {
    if (!nodes[i].IsDeleted()) return false;
  }
  return true;
}

// Every searched cluster that opens with "." naming itself. False when stopped.
bool FindFolderStarts(const DeviceHandle& device, const FatGeometry& g, ByteView fat, bool freeToo,
                      const ScannedFolderStarts* scanned, const std::vector<bool>& claimed, const FatWalk& walk,
                      std::vector<FoundFolder>& out) {
  const std::uint32_t spc = g.sectorsPerCluster;
  const std::uint32_t perRead = spc <= kWholeClustersUpTo ? std::max<std::uint32_t>(1, kChunkSectors / spc) : 1;
  auto skip = [&](std::uint32_t c) {
    if (claimed[c - kFirstDataCluster] || walk.readAsDirectory.Contains(c)) return true;
    const std::uint32_t next = NextCluster(fat, g.width, c);
    if (next != kFreeCluster) return IsBadClusterMark(g.width, next);
    return !freeToo || (scanned != nullptr && !scanned->MayStartFolder(g.ClusterSector(c)));
  };
  std::vector<std::uint8_t> buffer;
  const std::uint32_t end = kFirstDataCluster + g.clusterCount;
  for (std::uint32_t c = kFirstDataCluster; c < end;) {
    if (skip(c)) {
      ++c;
      continue;
    }
    std::uint32_t run = 1;
    while (run < perRead && c + run < end && !skip(c + run)) ++run;
    const std::uint32_t sectors = perRead == 1 ? 1 : run * spc;
    buffer.assign(std::size_t{sectors} * kSectorSize, 0);
    ReadSectorsMapped(device, buffer, g.ClusterSector(c), sectors, nullptr);
    if (AbortRequested()) return false;
    for (std::uint32_t k = 0; k < run; ++k) {
      const ByteView first = ByteView(buffer).subspan(std::size_t{perRead == 1 ? 0 : k * spc} * kSectorSize, kSectorSize);
      const DirectoryStart start = ReadDirectoryStart(first, g.fat32);
      if (!start.found || start.self != c + k) continue;
      FoundFolder found{c + k, start.parent, {}};
      std::copy_n(first.begin(), fatdir::kEntrySize, found.dot.begin());
      out.push_back(found);
    }
    c += run;
  }
  return true;
}

}  // namespace

bool ScannedFolderStarts::MayStartFolder(Sector64 sector) const {
  return sector < areaStart || sector >= areaEnd || std::binary_search(sectors.begin(), sectors.end(), sector);
}

bool ReadLostFolders(VolumeDescriptor& volume, const DeviceHandle& device, FatWalk& walk,
                     const ScannedFolderStarts* scanned) {
  const FatGeometry g = FatGeometryOf(volume);
  if (!g.HasDataArea()) return true;
  std::vector<FoundFolder> found;
  const ByteView fat = CachedFat(volume);
  if (!FindFolderStarts(device, g, fat, SearchFreeClusters(volume), scanned, ClaimedClusters(volume, g, fat), walk,
                        found)) {
    return false;
  }

  const std::size_t before = NodesOf(volume).nodes.size();
  std::set<std::uint32_t> waiting;
  for (const FoundFolder& f : found) waiting.insert(f.cluster);
  // Below a lost folder every folder entered must be the one its entry
  // names: two folders may claim one cluster, and a stale copy of a folder
  // lists the same subfolders.
  walk.strictDots = true;
  auto readTop = [&](const FoundFolder& f) {
    waiting.erase(f.cluster);
    const std::uint32_t index =
        AddEntryNode(u"Dir" + FromUtf8(std::to_string(f.cluster)), f.dot, volume, kNoNode);
    return ReadFatDirectory(volume, device, f.cluster, index, &walk) || !AbortRequested();
  };
  // A folder whose parent is found too waits for it: read through its
  // parent's entry, it keeps its name. What no parent lists goes under
  // LostFile; a ring of parents is broken at its first folder.
  while (!waiting.empty()) {
    bool progress = false;
    for (const FoundFolder& f : found) {
      if (waiting.count(f.cluster) == 0) continue;
      if (walk.readAsDirectory.Contains(f.cluster)) {
        waiting.erase(f.cluster);
        continue;
      }
      if (f.parent != f.cluster && waiting.count(f.parent) != 0) continue;
      if (!readTop(f)) return false;
      progress = true;
    }
    if (progress) continue;
    auto ring = std::find_if(found.begin(), found.end(), [&](const FoundFolder& f) { return waiting.count(f.cluster); });
    if (ring != found.end() && !readTop(*ring)) return false;
  }
  // Lost is neither existing nor deleted: both views show them.
  NodeVector& nodes = NodesOf(volume).nodes;
  for (std::size_t i = before; i < nodes.size(); ++i) nodes[i].deletedMark = 1;
  return true;
}

}  // namespace kestrum
