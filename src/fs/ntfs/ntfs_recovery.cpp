#include "fs/ntfs/ntfs_recovery.h"

#include <algorithm>

#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/run_list.h"

namespace kestrum {

namespace {

// A bitmap of more than this is damage (it would map 2^31 clusters).
constexpr std::uint64_t kMaxBitmapBytes = std::uint64_t{256} << 20;
constexpr std::uint32_t kBitmapChunkSectors = 2048;

bool IsInUse(ByteView bitmap, std::uint64_t cluster) {
  return cluster / 8 < bitmap.size() && ((bitmap[cluster / 8] >> (cluster % 8)) & 1) != 0;
}

}  // namespace

std::vector<std::uint8_t> ReadNtfsBitmap(const DeviceHandle& device, const VolumeDescriptor& volume,
                                         const FileNode& bitmapNode) {
  std::vector<std::uint8_t> bitmap;
  std::vector<RunEntry> runs;
  const std::uint32_t spc = ntfs::SectorsPerCluster(volume);
  ByteView runList(bitmapNode.data.data(), std::min<std::size_t>(bitmapNode.location, bitmapNode.data.size()));
  if (bitmapNode.residentData || spc == 0 || bitmapNode.size == 0 || bitmapNode.size > kMaxBitmapBytes ||
      !DecodeRunList(runList, runs)) {
    return bitmap;
  }
  ResolveRunSectors(runs, volume);
  const std::uint64_t size = bitmapNode.size;
  std::vector<std::uint8_t> chunk;
  for (const RunEntry& run : runs) {
    const std::uint64_t sectors = RunSectors(run, spc);
    for (std::uint64_t done = 0; done < sectors && bitmap.size() < size;) {
      auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
          {kBitmapChunkSectors, sectors - done, (size - bitmap.size() + kSectorSize - 1) / kSectorSize}));
      chunk.assign(std::size_t{count} * kSectorSize, 0);
      if (!run.sparse && !ReadSectors(device, chunk, Sector64{run.startSector} + done, count)) return {};
      const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - bitmap.size()));
      bitmap.insert(bitmap.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(keep));
      done += count;
    }
  }
  return bitmap;
}

RecoveryChance NtfsDeletedChance(const FileNode& node, ByteView bitmap, std::uint32_t clusterBytes) {
  if (node.residentData || node.size == 0) return kRecoveryGood;
  std::vector<RunEntry> runs;
  ByteView runList(node.data.data(), std::min<std::size_t>(node.location, node.data.size()));
  if (bitmap.empty() || clusterBytes == 0 || runList.empty() || !DecodeRunList(runList, runs)) {
    return kRecoveryUnknown;
  }
  std::uint64_t left = (node.size + clusterBytes - 1) / clusterBytes;
  std::int64_t lcn = 0;
  bool first = true;
  bool anyInUse = false;
  for (const RunEntry& run : runs) {
    if (left == 0) break;
    const std::uint64_t take = std::min<std::uint64_t>(run.length, left);
    left -= take;
    if (run.sparse) continue;  // a hole reads as zeros: nothing to lose
    lcn += run.delta;
    for (std::uint64_t k = 0; k < take; ++k) {
      const bool inUse = lcn >= 0 && IsInUse(bitmap, static_cast<std::uint64_t>(lcn) + k);
      if (first && inUse) return kRecoveryOverwritten;
      first = false;
      anyInUse = anyInUse || inUse;
    }
  }
  return anyInUse ? kRecoveryPartial : kRecoveryGood;
}

}  // namespace kestrum
