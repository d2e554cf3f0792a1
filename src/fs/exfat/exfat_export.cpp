#include "fs/exfat/exfat_export.h"

#include <algorithm>
#include <vector>

#include "disk/device.h"
#include "fs/copy_out.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_tables.h"

namespace kestrum {

bool ExportExfatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                     StatusMessage& status) {
  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return false;
  ExfatGeometry g = ExfatGeometryOf(volume);
  std::vector<std::uint32_t> clusters = ContentClusters(volume, node.location, node.size, node.noFatChain != 0,
                                                        node.IsDeleted());
  if (!g.valid || clusters.empty()) {
    CloseDevice(device);
    return false;
  }
  ContentCopier copier(device, out, status);
  std::uint64_t remaining = node.size;
  bool failed = false;
  for (std::uint32_t cluster : clusters) {
    if (remaining == 0) break;
    const std::uint64_t piece = std::min(remaining, g.ClusterBytes());
    if (!copier.Add(g.ClusterSector(cluster), piece)) {
      failed = true;
      break;
    }
    remaining -= piece;
  }
  failed = failed || !copier.Finish();
  if (failed) out.Truncate();
  CloseDevice(device);
  return !failed && remaining == 0;
}

bool ExportRebuiltExfatFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                            StatusMessage& status) {
  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return false;
  ExfatGeometry g = ExfatGeometryOf(volume);
  bool ok = g.valid && node.location >= kExfatFirstCluster &&
            CopyContiguousSectors(device, g.ClusterSector(node.location), node.size, out, status);
  if (!ok) out.Truncate();
  CloseDevice(device);
  return ok;
}

}  // namespace kestrum
