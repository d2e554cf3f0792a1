#include "fs/fat/deleted_content.h"

#include <algorithm>
#include <memory>
#include <queue>
#include <tuple>

#include "fs/fat/fat_table.h"
#include "fs/tree/node_array.h"

namespace kestrum {

namespace {

bool IsFreeCluster(const FatGeometry& g, ByteView fat, std::uint32_t cluster) {
  return g.IsValidCluster(cluster) && NextCluster(fat, g.width, cluster) == 0;
}

std::uint32_t FirstClusterOf(const FatGeometry& g, ByteView fat, std::uint32_t location) {
  const std::uint32_t lowWord = location & 0xFFFF;
  if (g.fat32 && !IsFreeCluster(g, fat, location) && lowWord != location && IsFreeCluster(g, fat, lowWord)) {
    return lowWord;
  }
  return location;
}

// One entry taking part in the sharing: its first cluster was free.
struct Share {
  std::size_t entry = 0;
  std::uint32_t first = 0;
  std::uint64_t need = 0;      // clusters still to find
  std::uint32_t last = 0;      // the last cluster it was given
  std::uint64_t freeAfter = 0;  // free clusters walked up to and with `last`
  std::size_t run = 0;         // its last run in the output
  bool passedOver = false;     // a free cluster went to another entry while it waited
};

class RunBuilder {
 public:
  explicit RunBuilder(std::vector<NodeClusterRun>& runs) : runs_(runs) {}
  // Appends `cluster` to the node's runs; `run` is its last one (or npos).
  void Give(std::uint32_t node, std::uint32_t cluster, std::size_t& run) {
    if (run != kNone && runs_[run].first + runs_[run].count == cluster) {
      ++runs_[run].count;
      return;
    }
    run = runs_.size();
    runs_.push_back({node, cluster, 1});
  }
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

 private:
  std::vector<NodeClusterRun>& runs_;
};

bool TakenBy(const std::vector<NodeClusterRun>& byCluster, std::uint32_t cluster) {
  auto after = std::upper_bound(byCluster.begin(), byCluster.end(), cluster,
                                [](std::uint32_t c, const NodeClusterRun& r) { return c < r.first; });
  return after != byCluster.begin() && cluster - std::prev(after)->first < std::prev(after)->count;
}

}  // namespace

std::vector<std::uint32_t> DeletedClusters::ClustersOf(std::uint32_t node) const {
  auto [from, to] = std::equal_range(runs.begin(), runs.end(), NodeClusterRun{node, 0, 0},
                                     [](const NodeClusterRun& a, const NodeClusterRun& b) { return a.node < b.node; });
  std::vector<std::uint32_t> clusters;
  for (auto r = from; r != to; ++r) {
    for (std::uint32_t i = 0; i < r->count; ++i) clusters.push_back(r->first + i);
  }
  return clusters;
}

DeletedClusters ShareDeletedClusters(const FatGeometry& g, ByteView fat, std::span<const DeletedEntry> entries) {
  DeletedClusters out;
  out.chances.assign(entries.size(), kRecoveryUnknown);
  std::vector<Share> shares;
  std::vector<std::size_t> overwritten;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DeletedEntry& e = entries[i];
    if (!e.folder && e.size == 0) {
      out.chances[i] = kRecoveryGood;
      continue;
    }
    const std::uint32_t first = FirstClusterOf(g, fat, e.location);
    if (!g.IsValidCluster(first) || g.ClusterBytes() == 0) continue;
    if (!IsFreeCluster(g, fat, first)) {
      overwritten.push_back(i);
      continue;
    }
    const std::uint64_t need = e.folder ? 1 : (e.size + g.ClusterBytes() - 1) / g.ClusterBytes();
    shares.push_back({.entry = i, .first = first, .need = need, .run = RunBuilder::kNone});
  }
  std::sort(shares.begin(), shares.end(),
            [](const Share& a, const Share& b) { return std::tie(a.first, a.entry) < std::tie(b.first, b.entry); });

  // One walk over the clusters from the lowest first cluster on. The entries
  // still short of their size wait in a queue: the one given a cluster
  // longest ago is served first.
  RunBuilder builder(out.runs);
  auto later = [&](std::size_t a, std::size_t b) {
    return std::tie(shares[a].last, shares[a].first, shares[a].entry) >
           std::tie(shares[b].last, shares[b].first, shares[b].entry);
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> waiting(later);
  std::uint64_t freeSeen = 0;
  auto give = [&](std::size_t s, std::uint32_t c) {
    Share& share = shares[s];
    if (share.run != RunBuilder::kNone && share.freeAfter != freeSeen) share.passedOver = true;
    builder.Give(entries[share.entry].node, c, share.run);
    share.last = c;
    share.freeAfter = freeSeen + 1;
    if (--share.need != 0) waiting.push(s);
  };
  std::size_t next = 0;
  std::uint32_t c = shares.empty() ? 0 : shares[0].first;
  while (next < shares.size() || !waiting.empty()) {
    if (waiting.empty() && c < shares[next].first) c = shares[next].first;
    if (!g.IsValidCluster(c)) break;
    if (next < shares.size() && shares[next].first == c) {
      // An entry's first cluster is its own; two that name the same one
      // cannot both be what it holds.
      const std::size_t from = next;
      while (next < shares.size() && shares[next].first == c) ++next;
      for (std::size_t s = from; s < next; ++s) {
        if (next - from > 1) shares[s].passedOver = true;
        give(s, c);
      }
    } else if (!IsFreeCluster(g, fat, c)) {
      ++c;
      continue;
    } else if (!waiting.empty()) {
      const std::size_t s = waiting.top();
      waiting.pop();
      give(s, c);
    }
    ++freeSeen;
    ++c;
  }
  for (const Share& s : shares) {
    out.chances[s.entry] = s.need != 0 || s.passedOver ? kRecoveryPartial : kRecoveryGood;
  }

  // An entry whose first cluster is in use again holds something else there;
  // what may follow of it lies in the free clusters no other entry took.
  std::vector<NodeClusterRun> byCluster = out.runs;
  std::sort(byCluster.begin(), byCluster.end(),
            [](const NodeClusterRun& a, const NodeClusterRun& b) { return a.first < b.first; });
  for (std::size_t i : overwritten) {
    const DeletedEntry& e = entries[i];
    const std::uint32_t first = FirstClusterOf(g, fat, e.location);
    const std::uint64_t need = e.folder ? 1 : (e.size + g.ClusterBytes() - 1) / g.ClusterBytes();
    std::size_t run = RunBuilder::kNone;
    builder.Give(e.node, first, run);
    std::uint64_t found = 1;
    for (std::uint32_t k = first + 1; found < need && g.IsValidCluster(k); ++k) {
      if (IsFreeCluster(g, fat, k) && !TakenBy(byCluster, k)) {
        builder.Give(e.node, k, run);
        ++found;
      }
    }
    out.chances[i] = kRecoveryOverwritten;
  }
  std::stable_sort(out.runs.begin(), out.runs.end(), [](const NodeClusterRun& a, const NodeClusterRun& b) {
    return std::tie(a.node, a.first) < std::tie(b.node, b.first);
  });
  return out;
}

DeletedContent FindDeletedContent(const VolumeDescriptor& volume, const FileNode& node) {
  DeletedContent content;
  const auto& kept = volume.readerState.deletedClusters;
  // A node added after the sharing (or a tree read without it) goes alone.
  if (kept && std::binary_search(kept->nodes.begin(), kept->nodes.end(), node.id)) {
    content.clusters = kept->ClustersOf(node.id);
    content.chance = node.recovery;
    return content;
  }
  const DeletedEntry entry{node.id, node.location, node.size, node.IsFolder()};
  const DeletedClusters alone = ShareDeletedClusters(FatGeometryOf(volume), CachedFat(volume), {&entry, 1});
  content.clusters = alone.ClustersOf(node.id);
  content.chance = alone.chances[0];
  return content;
}

void ShareDeletedClusters(VolumeDescriptor& volume) {
  NodeVector& nodes = NodesOf(volume).nodes;
  std::vector<DeletedEntry> entries;
  for (std::uint32_t i = 0; i < nodes.size(); ++i) {
    const FileNode& n = nodes[i];
    if (IsUsedSlot(n, i) && n.id == i && n.IsDeleted()) entries.push_back({i, n.location, n.size, n.IsFolder()});
  }
  auto shared =
      std::make_shared<DeletedClusters>(ShareDeletedClusters(FatGeometryOf(volume), CachedFat(volume), entries));
  for (const DeletedEntry& e : entries) shared->nodes.push_back(e.node);
  for (std::size_t k = 0; k < entries.size(); ++k) {
    if (!entries[k].folder) nodes[entries[k].node].recovery = shared->chances[k];
  }
  volume.readerState.deletedClusters = std::move(shared);
}

}  // namespace kestrum
