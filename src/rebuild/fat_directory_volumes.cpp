#include "rebuild/fat_directory_volumes.h"

#include <algorithm>
#include <utility>

#include "fs/fat/directory_entries.h"
#include "fs/fat/fat_layout.h"
#include "fs/tree/node_array.h"
#include "rebuild/rebuild_volumes.h"

namespace kestrum {

namespace {

// A FAT16 root region holds at most 65535 entries (4096 sectors) and lies
// just below cluster 2.
constexpr std::uint32_t kMaxRootRegionSectors = 4096;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;
constexpr std::uint32_t kDefaultRootRegionSectors = 32;  // 512 entries

struct Member {
  const ScanFinding* finding = nullptr;
  bool used = false;  // read once already
};

// A cluster that goes on with directory entries: every entry up to an end
// mark is a long-name part or a short entry with sane attribute and case bytes.
bool ContinuesDirectory(ByteView cluster) {
  const std::size_t count = cluster.size() / fatdir::kEntrySize;
  if (count == 0 || ReadLe8(cluster, fatdir::kName) == fatdir::kEndOfDirectory) return false;
  if (ReadLe8(cluster, fatdir::kName) == '.') return false;  // a directory of its own begins here
  for (std::size_t i = 0; i < count; ++i) {
    ByteView entry = DirEntryAt(cluster, i);
    if (ReadLe8(entry, fatdir::kName) == fatdir::kEndOfDirectory) break;
    const std::uint8_t attribute = ReadLe8(entry, fatdir::kAttribute);
    if (attribute == fatdir::kAttrLongName) {
      if (ReadLe8(entry, fatdir::kCaseFlags) != 0 || ReadLe16(entry, fatdir::kClusterLow) != 0) return false;
    } else if ((attribute & 0xC0) != 0 ||
               (ReadLe8(entry, fatdir::kCaseFlags) & ~(fatdir::kLowerCaseName | fatdir::kLowerCaseExtension)) != 0) {
      return false;
    }
  }
  return true;
}

bool EndsDirectory(ByteView bytes) {
  for (std::size_t i = 0; i < bytes.size() / fatdir::kEntrySize; ++i) {
    if (ReadLe8(DirEntryAt(bytes, i), fatdir::kName) == fatdir::kEndOfDirectory) return true;
  }
  return false;
}

// The directory at `sector`: its first `firstSectors`, then, with no FAT to
// say where it goes on, the clusters after it for as long as they carry on
// with entries (no new ".", no end mark yet), up to the largest directory.
std::vector<std::uint8_t> ReadDirectoryAt(const DeviceHandle& device, Sector64 sector, std::uint32_t firstSectors,
                                          std::uint32_t k, bool followOn = true) {
  std::vector<std::uint8_t> bytes(std::size_t{firstSectors} * kSectorSize);
  ReadSectorsMapped(device, bytes, sector, firstSectors, nullptr);
  std::vector<std::uint8_t> cluster(std::size_t{k} * kSectorSize);
  Sector64 next = sector + firstSectors;
  while (followOn && !EndsDirectory(bytes) && bytes.size() + cluster.size() <= kMaxDirectoryBytes) {
    if (!ReadSectors(device, cluster, next, k) || !ContinuesDirectory(cluster)) break;
    bytes.insert(bytes.end(), cluster.begin(), cluster.end());
    next += k;
  }
  return bytes;
}

bool OnGrid(Sector64 sector, std::uint32_t cluster, const ClusterVote& vote) {
  return cluster >= kFirstDataCluster &&
         std::uint64_t{cluster - kFirstDataCluster} * vote.sectorsPerCluster + vote.start == sector;
}

class FatRebuild {
 public:
  FatRebuild(const DeviceHandle& device, const ClusterVote& vote, std::vector<Member> members)
      : device_(device), vote_(vote), members_(std::move(members)) {}

  // The root directory: a root sector the scan recognised by its label, or
  // else where a root lies by default — the 512 entries below cluster 2
  // (FAT16) or cluster 2 itself (FAT32) — when one of its folders is a
  // directory found whose ".." names the root.
  void ReadRoot(const std::vector<const ScanFinding*>& roots) {
    const std::uint32_t k = vote_.sectorsPerCluster;
    for (const ScanFinding* root : roots) {
      if (root->sector < vote_.start && vote_.start - root->sector <= kMaxRootRegionSectors) {
        const auto regionSectors = static_cast<std::uint32_t>(vote_.start - root->sector);
        Parse(ReadDirectoryAt(device_, root->sector, regionSectors, k, false), kRootNodeId);
        return;
      }
      if (root->sector >= vote_.start && (root->sector - vote_.start) % k == 0) {
        Parse(ReadDirectoryAt(device_, root->sector, k, k), kRootNodeId);
        return;
      }
    }
    if (vote_.start >= kDefaultRootRegionSectors) {
      std::vector<std::uint8_t> region =
          ReadDirectoryAt(device_, vote_.start - kDefaultRootRegionSectors, kDefaultRootRegionSectors, k, false);
      if (NamesRootChild(region)) {
        Parse(region, kRootNodeId);
        return;
      }
    }
    std::vector<std::uint8_t> cluster2 = ReadDirectoryAt(device_, vote_.start, k, k);
    if (NamesRootChild(cluster2)) Parse(cluster2, kRootNodeId);
  }

  // Directories the root did not lead to: each top of a parent chain is read
  // into the root, since the name it had lives in a directory that is lost.
  void ReadOrphans() {
    for (;;) {
      auto first = std::find_if(members_.begin(), members_.end(), [](const Member& m) {
        return !m.used && m.finding->category == kCategoryFatDir;
      });
      if (first == members_.end()) return;
      std::size_t top = static_cast<std::size_t>(first - members_.begin());
      std::vector<bool> passed(members_.size(), false);
      passed[top] = true;
      for (;;) {
        std::size_t parent = FindMember(members_[top].finding->wordB, true);
        if (parent == members_.size() || passed[parent]) break;
        passed[parent] = true;
        top = parent;
      }
      ReadMember(top, kRootNodeId);
    }
  }

  VolumeDescriptor& volume() { return volume_; }

 private:
  // Whether a live folder entry of the bytes is a found directory whose
  // parent is the root (".." of cluster 0).
  bool NamesRootChild(ByteView bytes) const {
    for (std::size_t i = 0; i < bytes.size() / fatdir::kEntrySize; ++i) {
      ByteView entry = DirEntryAt(bytes, i);
      const std::uint8_t first = ReadLe8(entry, fatdir::kName);
      if (first == fatdir::kEndOfDirectory) return false;
      const std::uint8_t attribute = ReadLe8(entry, fatdir::kAttribute);
      if (first == fatdir::kDeleted || first == '.' || attribute == fatdir::kAttrLongName ||
          (attribute & fatdir::kAttrDirectory) == 0) {
        continue;
      }
      std::size_t m = FindMember(EntryFirstCluster(entry, true), false);
      if (m == members_.size()) m = FindMember(EntryFirstCluster(entry, false), false);
      if (m != members_.size() && members_[m].finding->wordB == 0) return true;
    }
    return false;
  }

  std::size_t FindMember(std::uint32_t cluster, bool unusedOnly) const {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      const Member& m = members_[i];
      if (m.finding->category == kCategoryFatDir && m.finding->wordA == cluster && !(unusedOnly && m.used)) return i;
    }
    return members_.size();
  }

  void ReadMember(std::size_t index, std::uint32_t parent) {
    members_[index].used = true;
    Parse(ReadDirectoryAt(device_, members_[index].finding->sector, vote_.sectorsPerCluster,
                          vote_.sectorsPerCluster),
          parent);
  }

  // Parses a directory under `parent`, then reads, depth first, the member
  // directories its folders point at.
  void Parse(const std::vector<std::uint8_t>& bytes, std::uint32_t parent) {
    const std::uint32_t before = NodesOf(volume_).Count();
    ParseDirEntries(bytes, volume_, parent);
    const std::uint32_t after = NodesOf(volume_).Count();
    for (std::uint32_t node = before; node < after; ++node) {
      const FileNode& folder = NodesOf(volume_).nodes[node];
      if (!folder.IsFolder()) continue;
      const std::uint32_t location = folder.location;
      for (std::size_t m = FindMember(location, true); m != members_.size(); m = FindMember(location, true)) {
        ReadMember(m, node);
      }
    }
  }

  const DeviceHandle& device_;
  ClusterVote vote_;
  std::vector<Member> members_;
  VolumeDescriptor volume_;
};

Sector64 DataAreaStart(const VolumeDescriptor& volume) { return FatGeometryOf(volume).firstDataSector; }

}  // namespace

std::vector<ClusterVote> CountClusterVotes(const std::vector<const ScanFinding*>& directories) {
  std::vector<ClusterVote> votes;
  for (std::size_t i = 0; i + 1 < directories.size(); ++i) {
    const ScanFinding& d = *directories[i];
    const ScanFinding& e = *directories[i + 1];
    const std::uint32_t a = d.wordA;
    const std::uint32_t b = e.wordA;
    if (a <= 1 || a >= b) continue;
    const Sector64 g = e.sector - d.sector;
    if (g % (b - a) != 0) continue;
    const Sector64 k = g / (b - a);
    if (k == 0 || k > UINT32_MAX) continue;
    const Sector64 x = k * (a - 2);
    if (x >= d.sector) continue;
    const Sector64 start = d.sector - x;
    auto known = std::find_if(votes.begin(), votes.end(), [&](const ClusterVote& v) { return v.start == start; });
    if (known != votes.end()) {
      ++known->count;
    } else {
      votes.push_back({start, 1, static_cast<std::uint32_t>(k)});
    }
  }
  return votes;
}

void FatVolumesFromDirectories(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                               VolumeList& rebuilt) {
  std::vector<const ScanFinding*> directories;
  std::vector<const ScanFinding*> roots;
  for (const ScanFinding& f : findings) {
    if (f.category == kCategoryFatDir || f.category == kCategoryFatRootDir) directories.push_back(&f);
    if (f.category == kCategoryFatRootDir) roots.push_back(&f);
  }
  std::vector<ClusterVote> votes = CountClusterVotes(directories);
  // A start that a FAT volume found by its boot sector explains is that volume.
  for (const VolumeDescriptor& v : rebuilt) {
    if (v.fsKind != kFsFat16 && v.fsKind != kFsFat32) continue;
    for (ClusterVote& vote : votes) {
      if (vote.start == DataAreaStart(v)) vote.start = 0;
    }
  }
  for (const ClusterVote& vote : votes) {
    if (vote.count < kMinClusterVotes || vote.start == 0 || vote.sectorsPerCluster > kMaxSectorsPerCluster) continue;
    // Every directory on the grid belongs to the volume, not only as many as
    // there were pairs: the last directory of a stretch votes in no pair.
    std::vector<Member> members;
    for (const ScanFinding* d : directories) {
      if (d->sector >= vote.start && OnGrid(d->sector, d->wordA, vote)) members.push_back({d, false});
    }
    if (members.size() < vote.count) continue;
    FatRebuild rebuild(device, vote, std::move(members));
    VolumeDescriptor& v = rebuild.volume();
    v.fsKind = kFsRebuiltFat;
    v.startSector = vote.start;
    v.sectorCount = kUnknownVolumeSectors;
    v.bootSector[fatboot::kSectorsPerCluster] = static_cast<std::uint8_t>(vote.sectorsPerCluster);
    v.foundBy = FoundBy::kFatDirectories;
    AddRootNode(v);
    rebuild.ReadRoot(roots);
    rebuild.ReadOrphans();
    AppendLostFileNode(v);
    LinkNodes(NodesOf(v).nodes);
    if (!HasVolumeAt(v.startSector, rebuilt)) rebuilt.push_back(std::move(v));
  }
}

}  // namespace kestrum
