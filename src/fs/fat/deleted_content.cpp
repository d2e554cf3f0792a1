#include "fs/fat/deleted_content.h"

#include "fs/fat/fat_table.h"

namespace kestrum {

namespace {

bool IsFreeCluster(const FatGeometry& g, ByteView fat, std::uint32_t cluster) {
  return g.IsValidCluster(cluster) && NextCluster(fat, g.width, cluster) == 0;
}

}  // namespace

DeletedContent FindDeletedContent(const FatGeometry& g, ByteView fat, std::uint32_t location,
                                  std::uint64_t size) {
  DeletedContent content;
  if (size == 0) {
    content.chance = kRecoveryGood;
    return content;
  }
  std::uint32_t first = location;
  const std::uint32_t lowWord = location & 0xFFFF;
  if (g.fat32 && !IsFreeCluster(g, fat, first) && lowWord != first && IsFreeCluster(g, fat, lowWord)) {
    first = lowWord;
  }
  if (!g.IsValidCluster(first) || g.ClusterBytes() == 0) return content;
  const std::uint64_t needed = (size + g.ClusterBytes() - 1) / g.ClusterBytes();
  const bool firstInUse = !IsFreeCluster(g, fat, first);
  content.clusters.push_back(first);
  for (std::uint32_t c = first + 1; content.clusters.size() < needed && g.IsValidCluster(c); ++c) {
    if (IsFreeCluster(g, fat, c)) content.clusters.push_back(c);
  }
  content.chance = firstInUse ? kRecoveryOverwritten
                   : content.clusters.size() < needed ? kRecoveryPartial
                                                      : kRecoveryGood;
  return content;
}

}  // namespace kestrum
