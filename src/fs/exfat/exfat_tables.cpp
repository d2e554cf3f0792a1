#include "fs/exfat/exfat_tables.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "fs/exfat/exfat_layout.h"

namespace kestrum {

namespace {

// Clusters already taken into one list. Short lists are searched directly;
// longer ones switch to a bit per cluster of the heap, or a hash set when
// the heap's size is not known.
class ClusterSet {
 public:
  explicit ClusterSet(std::uint32_t lastCluster) : lastCluster_(lastCluster) {}

  // True when the cluster was not in the set yet.
  bool Insert(std::uint32_t cluster) {
    if (mode_ == Mode::kList) {
      if (std::find(list_.begin(), list_.end(), cluster) != list_.end()) return false;
      list_.push_back(cluster);
      if (list_.size() > kListLimit) Widen();
      return true;
    }
    if (mode_ == Mode::kBits) {
      if (cluster >= bits_.size() || bits_[cluster]) return false;
      bits_[cluster] = true;
      return true;
    }
    return hashed_.insert(cluster).second;
  }

 private:
  enum class Mode { kList, kBits, kHash };
  static constexpr std::size_t kListLimit = 64;
  static constexpr std::uint64_t kMaxBits = std::uint64_t{1} << 28;  // 32 MiB of bits

  void Widen() {
    if (std::uint64_t{lastCluster_} + 1 <= kMaxBits) {
      mode_ = Mode::kBits;
      bits_.assign(std::size_t{lastCluster_} + 1, false);
      for (std::uint32_t c : list_) bits_[c] = true;
    } else {
      mode_ = Mode::kHash;
      hashed_.insert(list_.begin(), list_.end());
    }
    list_.clear();
  }

  std::uint32_t lastCluster_;
  Mode mode_ = Mode::kList;
  std::vector<std::uint32_t> list_;
  std::vector<bool> bits_;
  std::unordered_set<std::uint32_t> hashed_;
};

std::uint64_t ClustersFor(std::uint64_t bytes, std::uint64_t clusterBytes) {
  return bytes / clusterBytes + (bytes % clusterBytes != 0 ? 1 : 0);
}

// Sectors that can be read from `first` on, at most `wanted`.
std::uint64_t SectorsAvailable(const DeviceHandle& device, Sector64 first, std::uint64_t wanted) {
  Sector64 end = DeviceEndSector(device);
  if (end == 0) return wanted;
  return first >= end ? 0 : std::min<std::uint64_t>(wanted, end - first);
}

}  // namespace

Sector64 DeviceEndSector(const DeviceHandle& device) {
  if (!device.IsOpen()) return 0;
  if (device.windowSectors != 0) return device.windowSectors;
  return QueryDeviceBytes(device.fd) / kSectorSize;
}

bool LoadExfatFat(const DeviceHandle& device, VolumeDescriptor& volume) {
  volume.readerState.fat.reset();
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid || g.fatLength == 0) return false;
  std::uint64_t sectors = g.fatLength;
  if (g.clusterCount != 0) {
    std::uint64_t needed = (std::uint64_t{g.clusterCount} + kExfatFirstCluster) * 4;
    sectors = std::min<std::uint64_t>(sectors, ClustersFor(needed, kSectorSize));
  }
  sectors = SectorsAvailable(device, g.FatSector(), sectors);
  if (sectors == 0) return false;
  auto fat = std::make_shared<std::vector<std::uint8_t>>(sectors * kSectorSize);
  bool whole = ReadSectorsMapped(device, *fat, g.FatSector(), static_cast<std::uint32_t>(sectors), nullptr);
  volume.readerState.fat = std::move(fat);
  return whole;
}

bool FindBitmapEntry(ByteView rootSector, std::uint32_t& firstCluster, std::uint64_t& length) {
  for (std::size_t i = 0; i < exfatentry::kPerSector; ++i) {
    std::size_t at = i * exfatentry::kSize;
    if (ReadLe8(rootSector, at + exfatentry::kType) != exfatentry::kBitmap) continue;
    firstCluster = ReadLe32(rootSector, at + exfatbitmap::kFirstCluster);
    length = ReadLe64(rootSector, at + exfatbitmap::kLength);
    return true;
  }
  return false;
}

bool LoadAllocationBitmap(const DeviceHandle& device, VolumeDescriptor& volume) {
  volume.readerState.bitmap.reset();
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid || !g.IsDataCluster(g.rootCluster)) return false;
  std::vector<std::uint8_t> root(kSectorSize);
  ReadSectorsMapped(device, root, g.ClusterSector(g.rootCluster), 1, nullptr);
  std::uint32_t first = 0;
  std::uint64_t length = 0;
  if (!FindBitmapEntry(root, first, length) || !g.IsDataCluster(first)) return false;
  // A bit per cluster is all the bitmap can hold; a larger length is damage.
  if (g.clusterCount != 0) length = std::min<std::uint64_t>(length, ClustersFor(g.clusterCount, 8));
  std::uint64_t sectors = SectorsAvailable(device, g.ClusterSector(first), ClustersFor(length, kSectorSize));
  if (sectors == 0) return false;
  auto bitmap = std::make_shared<std::vector<std::uint8_t>>(sectors * kSectorSize);
  ReadSectorsMapped(device, *bitmap, g.ClusterSector(first), static_cast<std::uint32_t>(sectors), nullptr);
  volume.readerState.bitmap = std::move(bitmap);
  return true;
}

bool BitmapMarksCluster(const VolumeDescriptor& volume, std::uint32_t cluster) {
  const auto& bitmap = volume.readerState.bitmap;
  if (!bitmap || cluster < kExfatFirstCluster) return false;
  std::uint64_t bit = std::uint64_t{cluster} - kExfatFirstCluster;
  if (bit / 8 >= bitmap->size()) return false;
  return ((*bitmap)[bit / 8] >> (bit % 8)) & 1;
}

std::uint32_t ExfatFatEntry(const VolumeDescriptor& volume, std::uint32_t cluster) {
  const auto& fat = volume.readerState.fat;
  if (!fat) return 0;
  return ReadLe32(*fat, std::size_t{cluster} * 4);
}

std::vector<std::uint32_t> DirectoryClusters(const VolumeDescriptor& volume, std::uint32_t firstCluster,
                                             std::uint64_t byteLimit, bool noFatChain) {
  std::vector<std::uint32_t> clusters;
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid) return clusters;
  std::uint64_t wanted =
      ClustersFor(std::min(byteLimit, kMaxExfatDirectoryBytes), g.ClusterBytes());
  const bool haveFat = static_cast<bool>(volume.readerState.fat);
  ClusterSet seen(g.LastCluster());
  std::uint64_t c = firstCluster;
  while (clusters.size() < wanted && g.IsDataCluster(c)) {
    auto cluster = static_cast<std::uint32_t>(c);
    if (!noFatChain && !seen.Insert(cluster)) break;  // a chain that comes back on itself
    clusters.push_back(cluster);
    if (noFatChain) {
      c = c + 1;
      continue;
    }
    if (!haveFat) break;
    std::uint32_t next = ExfatFatEntry(volume, cluster);
    if (next == kExfatEndOfChain || next < kExfatFirstCluster) break;
    c = next;
  }
  return clusters;
}

std::vector<std::uint32_t> ContentClusters(const VolumeDescriptor& volume, std::uint32_t firstCluster,
                                           std::uint64_t byteLimit, bool noFatChain, bool deleted) {
  std::vector<std::uint32_t> clusters;
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid) return clusters;
  const std::uint64_t wanted = ClustersFor(byteLimit, g.ClusterBytes());
  ClusterSet seen(g.LastCluster());
  std::uint64_t c = firstCluster;
  while (clusters.size() < wanted && g.IsDataCluster(c)) {
    auto cluster = static_cast<std::uint32_t>(c);
    if (!noFatChain && !seen.Insert(cluster)) break;
    clusters.push_back(cluster);
    if (noFatChain) {
      c = c + 1;
      continue;
    }
    std::uint32_t next = ExfatFatEntry(volume, cluster);
    if (next == 0) {
      c = c + 1;  // a cleared chain: the file is taken to go on in the next cluster
      while (deleted && g.IsDataCluster(c) && BitmapMarksCluster(volume, static_cast<std::uint32_t>(c))) ++c;
      continue;
    }
    if (next == kExfatEndOfChain || next < kExfatFirstCluster) break;
    c = next;  // bad-cluster marks and other values above the heap end the loop
  }
  return clusters;
}

RecoveryChance DeletedContentChance(const VolumeDescriptor& volume, const FileNode& node) {
  if (node.size == 0) return kRecoveryGood;
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!volume.readerState.bitmap || !g.valid) return kRecoveryUnknown;
  std::vector<std::uint32_t> clusters = ContentClusters(volume, node.location, node.size, node.noFatChain != 0, true);
  if (clusters.empty()) return kRecoveryUnknown;
  if (BitmapMarksCluster(volume, clusters[0])) return kRecoveryOverwritten;
  for (std::uint32_t c : clusters) {
    if (BitmapMarksCluster(volume, c)) return kRecoveryPartial;
  }
  return clusters.size() < ClustersFor(node.size, g.ClusterBytes()) ? kRecoveryPartial : kRecoveryGood;
}

}  // namespace kestrum
