#include "rebuild/fat_directory_volumes.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "fs/fat/directory_entries.h"
#include "fs/fat/fat_layout.h"
#include "fs/tree/node_array.h"
#include "rebuild/rebuild_volumes.h"
#include "run/worker_state.h"

namespace kestrum {

namespace {

// A FAT16 root region holds at most 65535 entries (4096 sectors) and lies
// just below cluster 2.
constexpr std::uint32_t kMaxRootRegionSectors = 4096;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;
constexpr std::uint32_t kDefaultRootRegionSectors = 32;  // 512 entries
// How far past the last data its entries name a directory's next cluster is
// looked for, and how many clusters are read at a time while looking.
constexpr std::uint32_t kContinuationSlackClusters = 1024;
constexpr std::uint32_t kSweepClusters = 256;

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

// A DOS date and time that could have been written: month 1–12, day 1–31,
// hour, minute and seconds in range; 0 means not set.
bool PlausibleDosStamp(std::uint16_t date, std::uint16_t time) {
  if (date != 0) {
    const unsigned month = (date >> 5) & 0x0F, day = date & 0x1F;
    if (month == 0 || month > 12 || day == 0) return false;
  }
  return (time >> 11) < 24 && ((time >> 5) & 0x3F) < 60 && (time & 0x1F) < 30;
}

// A cluster away from any directory found is taken for one only on more
// than its layout: every short entry names itself in the characters a short
// name may hold and carries dates that could be, with the date it was
// written set (every driver sets it; the last cluster of a file whose few
// bytes are followed by zeros has none), every long-name part has an
// ordinal a name can have, at least one short entry is there, and after the
// end mark every entry is free.
bool HoldsOnlyPlausibleEntries(ByteView cluster) {
  static constexpr std::string_view kBadNameBytes = "\"*+,./:;<=>?[\\]|";
  bool shortEntry = false;
  bool ended = false;
  for (std::size_t i = 0; i < cluster.size() / fatdir::kEntrySize; ++i) {
    ByteView entry = DirEntryAt(cluster, i);
    const std::uint8_t first = ReadLe8(entry, fatdir::kName);
    if (ended || first == fatdir::kEndOfDirectory) {
      if (first != fatdir::kEndOfDirectory) return false;
      ended = true;
      continue;
    }
    if (ReadLe8(entry, fatdir::kAttribute) == fatdir::kAttrLongName) {
      const unsigned ordinal = ReadLe8(entry, fatlfn::kOrdinal) & 0x3F;
      if (first != fatdir::kDeleted && (ordinal == 0 || ordinal > fatlfn::kMaxEntries)) return false;
      continue;
    }
    for (std::size_t b = 0; b < fatdir::kShortNameLength; ++b) {
      const std::uint8_t c = entry[b];
      if (b == 0 && (c == fatdir::kDeleted || c == 0x05)) continue;
      if (c < 0x20 || kBadNameBytes.find(static_cast<char>(c)) != std::string_view::npos) return false;
    }
    if (first == ' ' || ReadLe16(entry, fatdir::kWriteDate) == 0 ||
        !PlausibleDosStamp(ReadLe16(entry, fatdir::kWriteDate), ReadLe16(entry, fatdir::kWriteTime)) ||
        !PlausibleDosStamp(ReadLe16(entry, fatdir::kCreationDate), ReadLe16(entry, fatdir::kCreationTime))) {
      return false;
    }
    shortEntry = true;
  }
  return shortEntry;
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

std::string ShortNameBytes(ByteView entry) {
  return std::string(reinterpret_cast<const char*>(entry.data()), fatdir::kShortNameLength);
}

// The first live short entry's name bytes of a cluster, empty when none.
std::string FirstShortName(ByteView cluster) {
  for (std::size_t i = 0; i < cluster.size() / fatdir::kEntrySize; ++i) {
    ByteView entry = DirEntryAt(cluster, i);
    const std::uint8_t first = ReadLe8(entry, fatdir::kName);
    if (first == fatdir::kEndOfDirectory) break;
    const std::uint8_t attribute = ReadLe8(entry, fatdir::kAttribute);
    if (first != fatdir::kDeleted && attribute != fatdir::kAttrLongName &&
        (attribute & fatdir::kAttrVolumeLabel) == 0) {
      return ShortNameBytes(entry);
    }
  }
  return {};
}

std::size_t CommonPrefix(const std::string& a, const std::string& b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n] && a[n] != '~' && a[n] != ' ') ++n;
  return n;
}

// Where a directory read so far ends, and what its last cluster leaves open.
struct DirectoryTail {
  Sector64 start = 0;  // its first sector: the key of its continuations
  Sector64 last = 0;   // the first sector of its last cluster
  bool open = true;    // no end mark yet: it goes on somewhere
  bool nameOpen = false;  // its last entries are long-name parts without their short entry
  std::uint8_t nameChecksum = 0;
  std::uint32_t dataEnd = 0;  // the cluster after the last data its entries name
  std::size_t bytes = 0;
  std::string lastName;  // the 11 bytes of its last live short entry

  // Takes in the entries of a cluster (or piece) that continues the directory.
  void Add(ByteView piece, std::uint32_t clusterBytes) {
    bytes += piece.size();
    for (std::size_t i = 0; i < piece.size() / fatdir::kEntrySize; ++i) {
      ByteView entry = DirEntryAt(piece, i);
      const std::uint8_t first = ReadLe8(entry, fatdir::kName);
      if (first == fatdir::kEndOfDirectory) {
        open = false;
        return;
      }
      if (first == fatdir::kDeleted || first == '.') continue;
      if (ReadLe8(entry, fatdir::kAttribute) == fatdir::kAttrLongName) {
        nameOpen = true;
        nameChecksum = ReadLe8(entry, fatlfn::kChecksum);
        continue;
      }
      nameOpen = false;
      if ((ReadLe8(entry, fatdir::kAttribute) & fatdir::kAttrVolumeLabel) == 0) lastName = ShortNameBytes(entry);
      const std::uint32_t cluster = EntryFirstCluster(entry, true);
      if (cluster < kFirstDataCluster || clusterBytes == 0) continue;
      const std::uint64_t size = ReadLe32(entry, fatdir::kSize);
      const std::uint64_t end = cluster + std::max<std::uint64_t>(1, (size + clusterBytes - 1) / clusterBytes);
      dataEnd = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(dataEnd, end), UINT32_MAX));
    }
    if (bytes >= kMaxDirectoryBytes) open = false;
  }
};

// Whether `cluster` goes on with the long-name set `tail` left open: a
// further part with its checksum, or the short entry the checksum names.
bool ContinuesName(const DirectoryTail& tail, ByteView cluster) {
  if (!tail.nameOpen) return false;
  ByteView entry = DirEntryAt(cluster, 0);
  if (ReadLe8(entry, fatdir::kAttribute) == fatdir::kAttrLongName) {
    return (ReadLe8(entry, fatlfn::kOrdinal) & fatlfn::kLastEntryFlag) == 0 &&
           ReadLe8(entry, fatlfn::kChecksum) == tail.nameChecksum;
  }
  return ShortNameChecksum(entry) == tail.nameChecksum;
}

class FatRebuild {
 public:
  FatRebuild(const DeviceHandle& device, const ClusterVote& vote, std::vector<Member> members)
      : device_(device), vote_(vote), members_(std::move(members)) {}

  // With no FAT, a directory whose clusters do not lie together is read only
  // as far as its first run. Its later clusters hold entries but no "."
  // entry: every such cluster after the directories found is given to the
  // open directory that needs it — the one it directly follows, the one
  // whose long name it goes on with, the one whose last entries' data it
  // directly follows, else the nearest open one before it.
  void LinkContinuations(const std::vector<const ScanFinding*>& roots) {
    const std::uint32_t k = vote_.sectorsPerCluster;
    const std::uint32_t clusterBytes = k * kSectorSize;
    std::vector<Sector64> starts;
    for (const Member& m : members_) starts.push_back(m.finding->sector);
    for (const ScanFinding* root : roots) {
      if (root->sector >= vote_.start && (root->sector - vote_.start) % k == 0) starts.push_back(root->sector);
    }
    starts.push_back(vote_.start);  // a FAT32 root at cluster 2
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    std::vector<DirectoryTail> tails;
    std::set<Sector64> read;  // sectors of directory clusters read already
    std::uint32_t dataEnd = 0;
    for (Sector64 start : starts) {
      std::vector<std::uint8_t> bytes = ReadDirectoryAt(device_, start, k, k);
      const bool isMember = std::any_of(members_.begin(), members_.end(),
                                        [&](const Member& m) { return m.finding->sector == start; });
      if (!isMember && !ContinuesDirectory(ByteView(bytes).first(clusterBytes))) continue;
      DirectoryTail tail;
      tail.start = start;
      tail.last = start + bytes.size() / kSectorSize - k;
      tail.Add(bytes, clusterBytes);
      for (Sector64 sector = start; sector <= tail.last; sector += k) read.insert(sector);
      dataEnd = std::max(dataEnd, tail.dataEnd);
      tails.push_back(tail);
    }

    std::vector<std::uint8_t> chunk(std::size_t{kSweepClusters} * clusterBytes);
    Sector64 from = UINT64_MAX;
    for (const DirectoryTail& t : tails) {
      if (t.open) from = std::min(from, t.last + k);
    }
    auto bound = [&] { return SectorOf(dataEnd + kContinuationSlackClusters); };
    for (Sector64 at = from; at != UINT64_MAX && at < bound(); at += Sector64{kSweepClusters} * k) {
      if (device_.sectorLimit != 0 && at >= device_.sectorLimit) break;
      if (AbortRequested() || std::none_of(tails.begin(), tails.end(), [](const DirectoryTail& t) { return t.open; })) {
        break;
      }
      ReadSectorsMapped(device_, chunk, at, kSweepClusters * k, nullptr);
      for (std::uint32_t i = 0; i < kSweepClusters; ++i) {
        const Sector64 sector = at + Sector64{i} * k;
        ByteView cluster = ByteView(chunk).subspan(std::size_t{i} * clusterBytes, clusterBytes);
        if (read.count(sector) || !ContinuesDirectory(cluster) || !HoldsOnlyPlausibleEntries(cluster)) continue;
        DirectoryTail* tail = TailFor(tails, sector, cluster);
        if (tail == nullptr) continue;
        continuations_[tail->start].push_back(sector);
        read.insert(sector);
        tail->last = sector;
        tail->Add(cluster, clusterBytes);
        dataEnd = std::max(dataEnd, tail->dataEnd);
      }
    }
  }

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
        Parse(Read(root->sector, k), kRootNodeId);
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
    std::vector<std::uint8_t> cluster2 = Read(vote_.start, k);
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
  Sector64 SectorOf(std::uint64_t cluster) const {
    const std::uint64_t index = std::max<std::uint64_t>(cluster, kFirstDataCluster) - kFirstDataCluster;
    return vote_.start + index * vote_.sectorsPerCluster;
  }
  std::uint32_t ClusterOf(Sector64 sector) const {
    return static_cast<std::uint32_t>((sector - vote_.start) / vote_.sectorsPerCluster + kFirstDataCluster);
  }

  // The open directory a continuation cluster at `sector` belongs to. Names
  // in one folder tend to run on (IMG_0041, IMG_0042; the short names made
  // from long ones keep their first letters): short of a long name that
  // runs across, the directory whose last short name shares the most first
  // letters with the cluster's first one is taken.
  DirectoryTail* TailFor(std::vector<DirectoryTail>& tails, Sector64 sector, ByteView cluster) const {
    constexpr std::size_t kMinSharedLetters = 2;
    const std::string firstName = FirstShortName(cluster);
    DirectoryTail* nearest = nullptr;
    DirectoryTail* name = nullptr;
    DirectoryTail* alike = nullptr;
    DirectoryTail* data = nullptr;
    std::size_t shared = kMinSharedLetters - 1;
    for (DirectoryTail& t : tails) {
      if (!t.open || t.last >= sector) continue;
      if (t.last + vote_.sectorsPerCluster == sector) return &t;
      if (name == nullptr && ContinuesName(t, cluster)) name = &t;
      const std::size_t n = CommonPrefix(t.lastName, firstName);
      if (n > shared || (n == shared && alike != nullptr && t.last > alike->last)) {
        shared = n;
        alike = &t;
      }
      if (data == nullptr && t.dataEnd == ClusterOf(sector)) data = &t;
      if (nearest == nullptr || t.last > nearest->last) nearest = &t;
    }
    return name != nullptr ? name : alike != nullptr ? alike : data != nullptr ? data : nearest;
  }

  // A directory's bytes: as ReadDirectoryAt finds them, then the clusters
  // linked to it.
  std::vector<std::uint8_t> Read(Sector64 sector, std::uint32_t firstSectors, bool followOn = true) const {
    const std::uint32_t k = vote_.sectorsPerCluster;
    std::vector<std::uint8_t> bytes = ReadDirectoryAt(device_, sector, firstSectors, k, followOn);
    auto more = continuations_.find(sector);
    if (more == continuations_.end()) return bytes;
    std::vector<std::uint8_t> cluster(std::size_t{k} * kSectorSize);
    for (Sector64 next : more->second) {
      if (bytes.size() + cluster.size() > kMaxDirectoryBytes) break;
      ReadSectorsMapped(device_, cluster, next, k, nullptr);
      bytes.insert(bytes.end(), cluster.begin(), cluster.end());
    }
    return bytes;
  }

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
    Parse(Read(members_[index].finding->sector, vote_.sectorsPerCluster), parent);
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
  std::map<Sector64, std::vector<Sector64>> continuations_;  // by a directory's first sector
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
    rebuild.LinkContinuations(roots);
    rebuild.ReadRoot(roots);
    rebuild.ReadOrphans();
    AppendLostFileNode(v);
    LinkNodes(NodesOf(v).nodes);
    if (!HasVolumeAt(v.startSector, rebuilt)) rebuilt.push_back(std::move(v));
  }
}

}  // namespace kestrum
