#include "fs/fat/fat_export.h"

#include <algorithm>
#include <vector>

#include "disk/device.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_table.h"

namespace kestrum {

namespace {

constexpr std::uint32_t kChunkSectors = 2048;  // 1 MiB
constexpr std::uint64_t kChunkBytes = std::uint64_t{kChunkSectors} * kSectorSize;

void CountCopied(StatusMessage& status, std::uint64_t bytes) {
  status.kind = StatusKind::kExport;
  status.exportStatus.currentFileCopied += bytes;
  status.exportStatus.bytesExported += bytes;
  PostStatus(status);
}

}  // namespace

bool ExportFatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                   StatusMessage& status) {
  const FatGeometry g = FatGeometryOf(volume);
  if (!g.HasDataArea()) return false;  // no telling where the clusters are
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  const ByteView fat = CachedFat(volume);
  std::vector<std::uint8_t> cluster(g.ClusterBytes());
  ClusterRuns copied;
  std::uint64_t written = 0;
  bool ok = true;
  std::uint32_t c = node.location;
  while (written < node.size && g.IsValidCluster(c) && !IsEndOfChain(g.fat32, c) && copied.Insert(c)) {
    if (AbortRequested() || !ReadSectors(device, cluster, g.ClusterSector(c), g.sectorsPerCluster) ||
        AbortRequested()) {
      ok = false;
      break;
    }
    std::uint64_t chunk = std::min<std::uint64_t>(cluster.size(), node.size - written);
    if (!out.Write(cluster.data(), chunk)) {
      ok = false;
      break;
    }
    written += chunk;
    CountCopied(status, chunk);
    std::uint32_t next = NextCluster(fat, g.fat32, c);
    // A free entry inside a file: the file is taken to go on in the next
    // cluster (the bounds above stop this at the last cluster).
    c = next != 0 ? next : c + 1;
  }
  CloseDevice(device);
  if (!ok) {
    out.Truncate();
    return false;
  }
  if (written < node.size) return false;  // the chain gave out early: keep what it gave
  out.SetTimes(node.creationTime, node.lastWriteTime);
  return true;
}

bool ExportContiguousClusters(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                              StatusMessage& status) {
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  const std::uint32_t spc = ReadLe8(volume.bootSector, fatboot::kSectorsPerCluster);
  const std::uint64_t size = node.size & 0xFFFFFFFF;
  bool ok = true;
  if (size != 0 && (spc == 0 || node.location < kFirstDataCluster)) ok = false;  // no place to copy from
  const Sector64 first =
      ok && size != 0 ? volume.startSector + Sector64{spc} * (node.location - kFirstDataCluster) : 0;
  const std::uint64_t chunks = (size + kChunkBytes - 1) / kChunkBytes;
  std::vector<std::uint8_t> buffer(ok && size != 0 ? kChunkBytes : 0);
  for (std::uint64_t k = 0; ok && k < chunks; ++k) {
    if (AbortRequested()) {
      ok = false;
      break;
    }
    std::uint64_t bytes = std::min(kChunkBytes, size - k * kChunkBytes);
    // The last piece reads only the sectors it needs, so a file at the very
    // end of the disk does not fail on sectors past it.
    auto sectors = static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
    if (!ReadSectors(device, buffer, first + k * kChunkSectors, sectors) || !out.Write(buffer.data(), bytes)) {
      ok = false;
      break;
    }
    CountCopied(status, bytes);
  }
  CloseDevice(device);
  if (!ok) out.Truncate();
  return ok;
}

}  // namespace kestrum
