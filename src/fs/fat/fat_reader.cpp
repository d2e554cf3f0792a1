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

// The FAT16 root region, read whole; unreadable sectors read as zeros.
void ReadFat16Root(const DeviceHandle& device, const FatGeometry& g, std::vector<std::uint8_t>& bytes) {
  bytes.assign(std::size_t{g.rootDirSectors} * kSectorSize, 0);
  if (g.rootDirSectors != 0) ReadSectorsMapped(device, bytes, g.rootDirSector, g.rootDirSectors, nullptr);
}

}  // namespace

std::uint32_t ReadDirChain(const DeviceHandle& device, const FatGeometry& g, ByteView fat,
                           std::uint32_t first, bool checkDots, ClusterRuns& readAsDirectory,
                           const std::function<void(ByteView)>& take, std::uint32_t* unreadable) {
  const std::size_t clusterBytes = g.ClusterBytes();
  std::vector<std::uint8_t> cluster(clusterBytes);
  std::vector<std::uint8_t> okMap(g.sectorsPerCluster);
  std::uint32_t count = 0;
  std::uint32_t c = first;
  while (g.IsValidCluster(c) && !IsEndOfChain(g.width, c) &&
         (std::size_t{count} + 1) * clusterBytes <= kMaxDirectoryBytes && readAsDirectory.Insert(c)) {
    std::fill(cluster.begin(), cluster.end(), std::uint8_t{0});
    const bool whole = ReadSectorsMapped(device, cluster, g.ClusterSector(c), g.sectorsPerCluster, okMap.data());
    if (AbortRequested()) break;
    if (!whole && unreadable != nullptr && std::find(okMap.begin(), okMap.end(), std::uint8_t{0}) != okMap.end()) {
      ++*unreadable;
    }
    ++count;
    take(cluster);
    // Judged by the first cluster, whose start holds the dot entries; a
    // cluster that does not is still parsed, but nothing after it.
    if (checkDots && count == 1 && okMap[0] != 0 && !StartsWithDotEntries(cluster)) break;
    c = NextCluster(fat, g.width, c);
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
  std::vector<std::uint8_t> bytes;
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
      ReadFat16Root(device, g, bytes);
      gotBytes = !bytes.empty();
      entries.Add(bytes);
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

bool ReadFatVolume(VolumeDescriptor& volume) {
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
  if (!AbortRequested()) ReadLostFolders(volume, device, walk);
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
