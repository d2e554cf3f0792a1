#include "fs/exfat/exfat_reader.h"

#include <algorithm>

#include "fs/exfat/entry_sets.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_sectors.h"
#include "fs/exfat/exfat_tables.h"
#include "fs/tree/node_array.h"

namespace kestrum {

namespace {

// Counts are posted every so many nodes, and once per directory.
constexpr std::uint32_t kPostEvery = 256;
// A directory is read 64 KiB at a time (or a cluster, when smaller).
constexpr std::uint32_t kPieceSectors = 128;

void PostCounts(const ParseStatus& counts) {
  StatusMessage message;
  message.kind = StatusKind::kParse;
  message.parse = counts;
  PostStatus(message);
}

void Count(ParseStatus& counts, NodeType type) {
  switch (type) {
    case kFile: ++counts.files; break;
    case kFolder: ++counts.folders; break;
    case kDeletedFile: ++counts.deletedFiles; break;
    case kDeletedFolder: ++counts.deletedFolders; break;
  }
}

std::uint32_t Total(const ParseStatus& c) { return c.files + c.folders + c.deletedFiles + c.deletedFolders; }

// Drops the clusters that lie wholly or partly past the device's end: they
// cannot be read, and a damaged length must not make the buffer larger than
// the device.
void KeepReadableClusters(const DeviceHandle& device, const ExfatGeometry& g,
                          std::vector<std::uint32_t>& clusters) {
  Sector64 end = DeviceEndSector(device);
  if (end == 0) return;
  auto beyond = std::find_if(clusters.begin(), clusters.end(), [&](std::uint32_t c) {
    return g.ClusterSector(c) + g.SectorsPerCluster() > end;
  });
  clusters.erase(beyond, clusters.end());
}

}  // namespace

bool ReadExfatDirectory(const DeviceHandle& device, VolumeDescriptor& volume, std::uint32_t firstCluster,
                        std::uint64_t byteLimit, std::uint32_t parent, bool noFatChain,
                        ExfatDirectoryWalk* walk) {
  if (AbortRequested()) return false;
  ExfatDirectoryWalk ownWalk;
  if (walk == nullptr) walk = &ownWalk;
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid || walk->depth > kMaxExfatDirectoryDepth) return false;
  if (!walk->visited.insert(firstCluster).second) return false;

  std::vector<std::uint32_t> clusters = DirectoryClusters(volume, firstCluster, byteLimit, noFatChain);
  KeepReadableClusters(device, g, clusters);
  if (clusters.empty()) return false;
  walk->clusters.insert(walk->clusters.end(), clusters.begin(), clusters.end());

  // Read a piece at a time and each set taken as it completes: a folder of
  // millions of files is never held whole, and each level of the walk keeps
  // only its own piece while the folders below are read.
  const std::uint32_t clusterSectors = g.SectorsPerCluster();
  const std::uint32_t pieceSectors = std::min(clusterSectors, kPieceSectors);
  std::vector<std::uint8_t> piece(std::size_t{pieceSectors} * kSectorSize);
  EntrySetParser parser(NodesOf(volume).strings);
  // Everything under a deleted folder is deleted, also the sets some
  // systems leave in use when they clear only the folder's own entry.
  const NodeVector& nodes = NodesOf(volume).nodes;
  const bool underDeleted = parent < nodes.size() && nodes[parent].IsDeleted();
  FileNode entry;
  // Appends the set just given and reads the folder it names; false when stopped.
  auto take = [&]() {
    entry.parentId = parent;
    if (underDeleted && !entry.IsDeleted()) {
      entry.type = entry.IsFolder() ? kDeletedFolder : kDeletedFile;
      entry.deletedMark = 1;
    }
    std::uint32_t index = AppendNode(volume, entry);
    Count(walk->counts, entry.type);
    if (Total(walk->counts) % kPostEvery == 0) PostCounts(walk->counts);
    if (!entry.IsFolder() || entry.size == 0) return true;
    ++walk->depth;
    ReadExfatDirectory(device, volume, entry.location, entry.size, index, entry.noFatChain != 0, walk);
    --walk->depth;
    return !AbortRequested();
  };
  std::vector<std::uint8_t> readable(pieceSectors);
  for (std::size_t c = 0; c < clusters.size() && !parser.Ended(); ++c) {
    bool clusterWhole = true;
    for (std::uint32_t done = 0; done < clusterSectors && !parser.Ended(); done += pieceSectors) {
      if (!ReadSectorsMapped(device, piece, g.ClusterSector(clusters[c]) + done, pieceSectors, readable.data()) &&
          clusterWhole && std::find(readable.begin(), readable.end(), std::uint8_t{0}) != readable.end()) {
        clusterWhole = false;
        ++walk->unreadableClusters;
      }
      if (AbortRequested()) return false;
      for (std::uint32_t s = 0; s < pieceSectors; ++s) {
        // A sector that would not read is zeros, which would read as the
        // directory's end and lose every entry after it.
        if (readable[s] == 0) {
          if (parser.Interrupt(entry) && !take()) return false;
          continue;
        }
        const ByteView sector = ByteView(piece).subspan(std::size_t{s} * kSectorSize, kSectorSize);
        for (std::size_t at = 0; at < sector.size(); at += exfatentry::kSize) {
          if (parser.Feed(sector.subspan(at, exfatentry::kSize), entry) && !take()) return false;
        }
      }
    }
  }
  if (parser.Finish(entry) && !take()) return false;
  PostCounts(walk->counts);
  return true;
}

bool ReadExfatVolume(VolumeDescriptor& volume) {
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  AddRootNode(volume);
  volume.readerState.fat.reset();
  volume.readerState.bitmap.reset();
  volume.readerState.loss = ReaderLoss{};
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (g.valid) {
    LoadExfatFat(device, volume);
    if (!AbortRequested()) {
      LoadAllocationBitmap(device, volume);
      ExfatDirectoryWalk walk;
      ReadExfatDirectory(device, volume, g.rootCluster, kMaxExfatDirectoryBytes, kRootNodeId, false, &walk);
      PostCounts(walk.counts);
      volume.readerState.loss.directoryClusters = walk.unreadableClusters;
    }
  }
  volume.readerState.loss.sectors = device.health->Counts();
  for (FileNode& node : NodesOf(volume).nodes) {
    if (node.type == kDeletedFile) node.recovery = DeletedContentChance(volume, node);
  }
  AppendLostFileNode(volume);
  LinkNodes(NodesOf(volume).nodes);
  CloseDevice(device);
  return true;
}

bool ReadExfatLabel(const DeviceHandle& device, VolumeDescriptor& volume) {
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid || !g.IsDataCluster(g.rootCluster)) return false;
  std::vector<std::uint8_t> cluster(g.ClusterBytes());
  ReadSectorsMapped(device, cluster, g.ClusterSector(g.rootCluster), g.SectorsPerCluster(), nullptr);
  ByteView bytes(cluster);
  for (std::size_t at = 0; at + exfatentry::kSize <= bytes.size(); at += exfatentry::kSize) {
    std::uint8_t type = ReadLe8(bytes, at + exfatentry::kType);
    if (type == exfatentry::kEndOfDirectory) break;
    if (type != exfatentry::kLabel) continue;
    std::size_t count = ReadLe8(bytes, at + exfatlabel::kCharCount);
    if (count > exfatlabel::kMaxChars) continue;
    std::u16string label;
    for (std::size_t i = 0; i < count; ++i) {
      label.push_back(static_cast<char16_t>(ReadLe16(bytes, at + exfatlabel::kChars + 2 * i)));
    }
    volume.label = label;
    return true;
  }
  return false;
}

void MakeExfatDescriptor(VolumeDescriptor& out, const DeviceHandle& device, ByteView bootSector,
                         Sector64 start) {
  out = VolumeDescriptor{};
  out.startSector = start;
  std::copy_n(bootSector.begin(), std::min<std::size_t>(bootSector.size(), out.bootSector.size()),
              out.bootSector.begin());
  // The export picks its copy routine by partition type: 7 with "EXFAT" in
  // the boot sector is exFAT.
  out.partitionType = 7;
  out.sectorCount = ExfatVolumeSectors(out.bootSector);
  ReadExfatLabel(device, out);
  out.fsKind = kFsExfat;
}

bool CheckExfatAt(Sector64 sector, ByteView bootSector, const DeviceHandle& device) {
  ExfatGeometry g = ExfatGeometryOf(bootSector, sector);
  if (!g.valid || !g.IsDataCluster(g.rootCluster)) return false;
  std::vector<std::uint8_t> buffer(kSectorSize);
  if (!ReadSectors(device, buffer, g.ClusterSector(g.rootCluster), 1) || !IsExfatRootSector(buffer)) {
    return false;
  }
  if (!ReadSectors(device, buffer, g.FatSector(), 1)) return false;
  return ReadLe32(buffer, 0) == kExfatMediaEntry;
}

}  // namespace kestrum
