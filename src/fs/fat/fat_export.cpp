#include "fs/fat/fat_export.h"

#include <algorithm>
#include <vector>

#include "disk/device.h"
#include "fs/copy_out.h"
#include "fs/fat/deleted_content.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_table.h"

namespace kestrum {

bool ExportFatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                   StatusMessage& status) {
  const FatGeometry g = FatGeometryOf(volume);
  if (!g.HasDataArea()) return false;  // no telling where the clusters are
  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return false;
  const ByteView fat = CachedFat(volume);
  ContentCopier copier(device, out, status);
  ClusterRuns copied;
  std::uint64_t written = 0;
  bool ok = true;
  // A deleted file has no chain left: the clusters come from the free ones.
  const DeletedContent deleted =
      node.IsDeleted() ? FindDeletedContent(volume, node) : DeletedContent{};
  std::size_t nextDeleted = 0;
  std::uint32_t c = node.IsDeleted() ? (deleted.clusters.empty() ? 0 : deleted.clusters[0]) : node.location;
  while (written < node.size && g.IsValidCluster(c) && !IsEndOfChain(g.width, c) && copied.Insert(c)) {
    const std::uint64_t chunk = std::min<std::uint64_t>(g.ClusterBytes(), node.size - written);
    if (!copier.Add(g.ClusterSector(c), chunk)) {
      ok = false;
      break;
    }
    written += chunk;
    if (node.IsDeleted()) {
      ++nextDeleted;
      c = nextDeleted < deleted.clusters.size() ? deleted.clusters[nextDeleted] : 0;
      continue;
    }
    std::uint32_t next = NextCluster(fat, g.width, c);
    // A free entry inside a file: the file is taken to go on in the next
    // cluster (the bounds above stop this at the last cluster).
    c = next != 0 ? next : c + 1;
  }
  ok = ok && copier.Finish();
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
  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return false;
  // The descriptor's start is the sector of cluster 2.
  const std::uint32_t spc = ReadLe8(volume.bootSector, fatboot::kSectorsPerCluster);
  bool ok = node.size == 0 || (spc != 0 && node.location >= kFirstDataCluster);  // else nowhere to copy from
  if (ok && node.size != 0) {
    const Sector64 first = volume.startSector + Sector64{spc} * (node.location - kFirstDataCluster);
    ok = CopyContiguousSectors(device, first, node.size, out, status);
  }
  CloseDevice(device);
  if (!ok) out.Truncate();
  return ok;
}

}  // namespace kestrum
