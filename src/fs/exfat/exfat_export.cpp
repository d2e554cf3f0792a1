#include "fs/exfat/exfat_export.h"

#include <algorithm>
#include <vector>

#include "disk/device.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_tables.h"

namespace kestrum {

namespace {

constexpr std::uint64_t kRebuiltChunkBytes = std::uint64_t{1} << 20;  // 2048 sectors

void AddCopied(StatusMessage& status, std::uint64_t bytes) {
  status.exportStatus.currentFileCopied += bytes;
  status.exportStatus.bytesExported += bytes;
  PostStatus(status);
}

std::uint32_t SectorsFor(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
}

}  // namespace

bool ExportExfatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                     StatusMessage& status) {
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  ExfatGeometry g = ExfatGeometryOf(volume);
  std::vector<std::uint32_t> clusters = ContentClusters(volume, node.location, node.size, node.noFatChain != 0);
  if (!g.valid || clusters.empty()) {
    CloseDevice(device);
    return false;
  }
  const std::uint64_t clusterBytes = g.ClusterBytes();
  std::vector<std::uint8_t> buffer(clusterBytes);
  std::uint64_t remaining = node.size;
  bool failed = false;
  for (std::uint32_t cluster : clusters) {
    if (remaining == 0) break;
    std::uint64_t piece = std::min(remaining, clusterBytes);
    if (AbortRequested() || !ReadSectors(device, buffer, g.ClusterSector(cluster), g.SectorsPerCluster()) ||
        !out.Write(buffer.data(), piece)) {
      failed = true;
      break;
    }
    remaining -= piece;
    AddCopied(status, piece);
  }
  if (failed) out.Truncate();
  CloseDevice(device);
  return !failed && remaining == 0;
}

bool ExportRebuiltExfatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                            StatusMessage& status) {
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  ExfatGeometry g = ExfatGeometryOf(volume);
  if (!g.valid || node.location < kExfatFirstCluster) {
    CloseDevice(device);
    return false;
  }
  const Sector64 first = g.ClusterSector(node.location);
  std::vector<std::uint8_t> buffer(kRebuiltChunkBytes);
  std::uint64_t remaining = node.size;
  bool failed = false;
  for (std::uint64_t k = 0; remaining > 0; ++k) {
    std::uint64_t piece = std::min(remaining, kRebuiltChunkBytes);
    // The last piece reads only the sectors it needs, so a file that ends
    // near the end of the disk is still copied.
    std::uint32_t sectors = SectorsFor(piece);
    Sector64 at = first + k * (kRebuiltChunkBytes / kSectorSize);
    if (AbortRequested() || !ReadSectorsMapped(device, buffer, at, sectors, nullptr) ||
        !out.Write(buffer.data(), piece)) {
      failed = true;
      break;
    }
    remaining -= piece;
    AddCopied(status, piece);
  }
  if (failed) out.Truncate();
  CloseDevice(device);
  return !failed;
}

}  // namespace kestrum
