#include "fs/fat/fat_reader.h"

#include <algorithm>
#include <memory>

#include "run/worker_state.h"
#include "base/text.h"
#include "fs/fat/deleted_content.h"
#include "fs/fat/directory_entries.h"
#include "fs/fat/directory_start.h"
#include "fs/fat/lost_folders.h"
#include "fs/tree/node_array.h"

namespace kestrum {

namespace {

// A subdirectory's first cluster starts with its "." and ".." entries.
bool StartsWithDotEntries(ByteView bytes) {
  ByteView dot = DirEntryAt(bytes, 0);
  ByteView dotDot = DirEntryAt(bytes, 1);
  return ReadLe8(dot, 0) == '.' && ReadLe8(dotDot, 0) == '.' && ReadLe8(dotDot, 1) == '.';
}

// Counts of the nodes appended so far, posted as the reader goes.
class ParseProgress {
 public:
  explicit ParseProgress(std::uint32_t firstNode) : counted_(firstNode) {}

  void CountAndPost(std::span<const FileNode> nodes) {
    for (; counted_ < nodes.size(); ++counted_) {
      switch (nodes[counted_].type) {
        case kFolder: ++message_.parse.folders; break;
        case kFile: ++message_.parse.files; break;
        case kDeletedFolder: ++message_.parse.deletedFolders; break;
        case kDeletedFile: ++message_.parse.deletedFiles; break;
      }
    }
    message_.kind = StatusKind::kParse;
    PostStatus(message_);
  }

 private:
  std::size_t counted_;
  StatusMessage message_;
};

// Hands `take` the sectors of `bytes` that were read, a run of them at a
// time. One that would not read is zeros, which a parse takes for the
// directory's end: every entry after it would be lost with it.
void TakeReadSectors(ByteView bytes, const std::uint8_t* readable, const std::function<void(ByteView)>& take) {
  const std::size_t sectors = bytes.size() / kSectorSize;
  for (std::size_t from = 0; from < sectors;) {
    if (readable[from] == 0) {
      ++from;
      continue;
    }
    std::size_t to = from + 1;
    while (to < sectors && readable[to] != 0) ++to;
    take(bytes.subspan(from * kSectorSize, (to - from) * kSectorSize));
    from = to;
  }
}

// The FAT16 root region, read whole, handed to `take` as TakeReadSectors does.
bool ReadFat16Root(const DeviceHandle& device, const FatGeometry& g, const std::function<void(ByteView)>& take) {
  if (g.rootDirSectors == 0) return false;
  std::vector<std::uint8_t> bytes(std::size_t{g.rootDirSectors} * kSectorSize, 0);
  std::vector<std::uint8_t> readable(g.rootDirSectors);
  ReadSectorsMapped(device, bytes, g.rootDirSector, g.rootDirSectors, readable.data());
  TakeReadSectors(bytes, readable.data(), take);
  return true;
}

// Directory clusters that follow each other on the disk are read together,
// up to this much a read. On a failing disk a read of two sectors or more
// that ends inside a stretch being passed over tries its last sector, and
// reads back the good ones before it; read one cluster a call, each
// one-sector cluster after a bad run fell inside the stretch and stayed
// zeros. It also spares a volume of small clusters a read per cluster. No
// more than this: the buffer is part of the listing's peak (1 MiB was 13
// bytes a file for a folder of 65,000).
constexpr std::size_t kDirectoryRunBytes = std::size_t{64} << 10;

}  // namespace

std::uint32_t ReadDirChain(const DeviceHandle& device, const FatGeometry& g, ByteView fat,
                           std::uint32_t first, bool checkDots, ClusterRuns& readAsDirectory,
                           const std::function<void(ByteView)>& take, std::uint32_t* unreadable) {
  const std::size_t clusterBytes = g.ClusterBytes();
  const std::uint32_t spc = g.sectorsPerCluster;
  const auto runLimit = static_cast<std::uint32_t>(std::max<std::size_t>(1, kDirectoryRunBytes / clusterBytes));
  std::vector<std::uint8_t> run;
  std::vector<std::uint8_t> okMap;
  std::uint32_t count = 0;
  // Whether the chain goes on to `c` as the directory's cluster number `index`.
  auto goesOnTo = [&](std::uint32_t c, std::uint32_t index) {
    return g.IsValidCluster(c) && !IsEndOfChain(g.width, c) &&
           (std::size_t{index} + 1) * clusterBytes <= kMaxDirectoryBytes && readAsDirectory.Insert(c);
  };
  for (std::uint32_t c = first; goesOnTo(c, count);) {
    // The chain's clusters that follow `c` on the disk, read with it. The
    // first cluster of a checked chain is read alone: when it has no dot
    // entries, nothing after it is.
    const std::uint32_t most = checkDots && count == 0 ? 1 : runLimit;
    std::uint32_t clusters = 1;
    std::uint32_t next = NextCluster(fat, g.width, c);
    while (clusters < most && next == c + clusters && goesOnTo(next, count + clusters)) {
      next = NextCluster(fat, g.width, next);
      ++clusters;
    }
    // Sized only: the read fills both, zeros and 0 where a sector will not read.
    run.resize(std::size_t{clusters} * clusterBytes);
    okMap.resize(std::size_t{clusters} * spc);
    const bool whole = ReadSectorsMapped(device, run, g.ClusterSector(c), clusters * spc, okMap.data());
    if (AbortRequested()) break;
    for (std::uint32_t i = 0; i < clusters; ++i) {
      const auto ok = okMap.begin() + std::ptrdiff_t{i} * spc;
      if (!whole && unreadable != nullptr && std::find(ok, ok + spc, std::uint8_t{0}) != ok + spc) ++*unreadable;
      ++count;
      const ByteView cluster = ByteView(run).subspan(std::size_t{i} * clusterBytes, clusterBytes);
      TakeReadSectors(cluster, &*ok, take);
      // Judged by the first cluster, whose start holds the dot entries; a
      // cluster that does not is still parsed, but nothing after it.
      if (checkDots && count == 1 && *ok != 0 && !StartsWithDotEntries(cluster)) return count;
    }
    c = next;
  }
  return count;
}

bool ReadFatDirectory(VolumeDescriptor& volume, const DeviceHandle& device, std::uint32_t cluster,
                      std::uint32_t parent, FatWalk* walk) {
  const FatGeometry g = FatGeometryOf(volume);
  const ByteView fat = CachedFat(volume);
  const NodeVector& nodes = NodesOf(volume).nodes;
  ParseProgress progress(static_cast<std::uint32_t>(nodes.size()));
  FatWalk ownWalk;
  if (walk == nullptr) walk = &ownWalk;
  ClusterRuns& readAsDirectory = walk->readAsDirectory;
  // The dot entries of a folder that may not be the one its entry names:
  // "." names its own cluster, ".." its parent's (0 or the root cluster
  // for a folder in the root).
  auto isTheFolder = [&](ByteView bytes, std::uint32_t self, std::uint32_t folderNode) {
    const DirectoryStart start = ReadDirectoryStart(bytes, g.fat32);
    if (!start.found || start.self != self) return false;
    const std::uint32_t up = nodes[folderNode].parentId;
    if (up == kRootNodeId) return start.parent == 0 || (g.fat32 && start.parent == g.rootCluster);
    return up < nodes.size() && start.parent == nodes[up].location;
  };

  struct Pending {
    std::uint32_t cluster;
    std::uint32_t parent;
    bool isRoot;
    bool deleted;  // a deleted folder: everything in it counts as deleted
    bool strict;   // read only when its dot entries name it and its parent
  };
  // An explicit stack: damaged trees can be as deep as they like.
  std::vector<Pending> pending{{cluster, cluster == 0 ? kRootNodeId : parent, cluster == 0, false, false}};
  bool firstRead = false;
  bool isFirst = true;
  while (!pending.empty()) {
    if (AbortRequested()) return false;
    const Pending dir = pending.back();
    pending.pop_back();
    if (dir.strict) {
      // Judged before its clusters count as read: another folder may claim them.
      std::vector<std::uint8_t> first(kSectorSize, 0);
      if (!g.IsValidCluster(dir.cluster)) continue;
      std::uint8_t readable = 1;
      ReadSectorsMapped(device, first, g.ClusterSector(dir.cluster), 1, &readable);
      if (readable == 0) ++walk->unreadableClusters;
      if (readable == 0 || !isTheFolder(first, dir.cluster, dir.parent)) continue;
    }
    // Parsed as its clusters come in: the directory of a folder of 65,536
    // entries is not held whole beside the nodes made of it.
    const auto before = static_cast<std::uint32_t>(nodes.size());
    DirEntryStream entries(volume, dir.parent, dir.deleted ? DeletedEntries::kAll : DeletedEntries::kList);
    bool gotBytes = false;
    if (dir.isRoot && !g.fat32) {
      gotBytes = ReadFat16Root(device, g, [&](ByteView read) { entries.Add(read); });
    } else {
      std::uint32_t start = dir.isRoot ? g.rootCluster : dir.cluster;
      gotBytes = ReadDirChain(device, g, fat, start, !dir.isRoot, readAsDirectory,
                              [&](ByteView cluster) { entries.Add(cluster); },
                              &walk->unreadableClusters) != 0;
    }
    if (AbortRequested()) return false;
    if (isFirst) firstRead = gotBytes;
    isFirst = false;
    if (!gotBytes) continue;

    entries.Finish();
    const auto after = static_cast<std::uint32_t>(nodes.size());
    progress.CountAndPost(nodes);
    // Pushed last to first, so the first folder is read first. A deleted
    // folder whose first cluster is in use again holds something else now.
    for (std::uint32_t i = after; i-- > std::max(before, kRootNodeId);) {
      const FileNode& node = nodes[i];
      if (node.id != i || !node.IsFolder()) continue;
      if (node.IsDeleted() && NextCluster(fat, g.width, node.location) != 0) continue;
      pending.push_back({node.location, i, false, node.IsDeleted(), node.IsDeleted() || walk->strictDots});
    }
  }
  return firstRead;
}

bool ReadFatVolume(VolumeDescriptor& volume, const ScannedFolderStarts* scanned) {
  if (volume.fsKind != kFsFat16 && volume.fsKind != kFsFat32) return false;
  const FatGeometry g = FatGeometryOf(volume);
  if (!g.IsReadable()) return false;
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;

  auto fat = std::make_shared<std::vector<std::uint8_t>>();
  bool loaded = LoadFat(device, g, *fat);
  volume.readerState.fat = std::move(fat);
  if (!loaded || AbortRequested()) {
    CloseDevice(device);
    return false;
  }

  // A tree of its own: an earlier copy of this descriptor may share the old one.
  volume.readerState.nodes = std::make_shared<NodeArray>();
  volume.readerState.deletedClusters.reset();
  AddRootNode(volume);
  FatWalk walk;
  ReadFatDirectory(volume, device, 0, kRootNodeId, &walk);
  if (!AbortRequested()) ReadLostFolders(volume, device, walk, scanned);
  if (AbortRequested()) {
    CloseDevice(device);
    return false;
  }
  volume.readerState.loss = ReaderLoss{0, walk.unreadableClusters, device.health->Counts()};
  ShareDeletedClusters(volume);
  AppendLostFileNode(volume);
  LinkNodes(NodesOf(volume).nodes);
  CloseDevice(device);
  return true;
}

bool ReadFatLabel(VolumeDescriptor& volume, const DeviceHandle& device) {
  const FatGeometry g = FatGeometryOf(volume);
  Sector64 sector = 0;
  if (volume.fsKind == kFsFat16) {
    sector = g.rootDirSector;
  } else {
    if (g.rootCluster < kFirstDataCluster) return false;
    sector = g.ClusterSector(g.rootCluster);
  }
  std::vector<std::uint8_t> buffer(kSectorSize);
  if (!ReadSectors(device, buffer, sector, 1)) return false;
  ByteView entry = DirEntryAt(buffer, 0);
  // Long-name entries carry the label bit too, and a deleted or absent
  // label leaves only its marker byte.
  std::uint8_t attribute = ReadLe8(entry, fatdir::kAttribute);
  std::uint8_t first = ReadLe8(entry, fatdir::kName);
  if (!(attribute & fatdir::kAttrVolumeLabel) || attribute == fatdir::kAttrLongName ||
      first == fatdir::kEndOfDirectory || first == fatdir::kDeleted) {
    return false;
  }
  std::size_t length = fatdir::kShortNameLength;
  while (length > 0 && (entry[length - 1] == ' ' || entry[length - 1] == 0)) --length;
  volume.label = FromGbk(std::string_view(reinterpret_cast<const char*>(entry.data()), length));
  return true;
}

}  // namespace kestrum
