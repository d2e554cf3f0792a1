#include "fs/fat/deleted_content.h"

#include <gtest/gtest.h>

#include <set>

#include "base/byte_order.h"

namespace kestrum {
namespace {

// A FAT16 volume of one-sector clusters 2 … 101; `inUse` have a FAT entry.
struct SmallFat {
  explicit SmallFat(const std::set<std::uint32_t>& inUse) : fat(2 * 102, 0) {
    g.width = kFat16;
    g.sectorsPerCluster = 1;
    g.clusterCount = 100;
    for (std::uint32_t c : inUse) WriteLe16(fat, 2 * c, 0xFFFF);
  }
  FatGeometry g;
  std::vector<std::uint8_t> fat;
};

struct Expected {
  std::vector<std::uint32_t> clusters;
  RecoveryChance chance;
};

TEST(DeletedClusterSharing, EachEntryKeepsItsFirstClusterAndWaitingEntriesTakeTurns) {
  const std::uint32_t cluster = 512;
  struct Case {
    const char* what;
    std::set<std::uint32_t> inUse;
    std::vector<DeletedEntry> entries;  // node = index
    std::vector<Expected> expected;
  } cases[] = {
      {"two files written at once", {},
       {{0, 10, 3 * cluster}, {1, 11, 3 * cluster - 100}},
       {{{10, 12, 14}, kRecoveryPartial}, {{11, 13, 15}, kRecoveryPartial}}},
      {"a file whose next cluster is another's first", {},
       {{0, 21, 1}, {1, 20, 3 * cluster}},
       {{{21}, kRecoveryGood}, {{20, 22, 23}, kRecoveryPartial}}},
      {"live clusters are passed over, no deleted one's", {31, 32},
       {{0, 30, 3 * cluster}},
       {{{30, 33, 34}, kRecoveryGood}}},
      {"a deleted folder owns its first cluster", {},
       {{0, 40, 3 * cluster}, {1, 41, 0, true}},
       {{{40, 42, 43}, kRecoveryPartial}, {{41}, kRecoveryUnknown}}},
      {"two entries naming one first cluster", {},
       {{0, 50, 2 * cluster}, {1, 50, 2 * cluster}},
       {{{50, 51}, kRecoveryPartial}, {{50, 52}, kRecoveryPartial}}},
      {"an overwritten entry takes no other entry's clusters", {60},
       {{0, 60, 3 * cluster}, {1, 62, cluster}},
       {{{60, 61, 63}, kRecoveryOverwritten}, {{62}, kRecoveryGood}}},
      {"the volume ends first", {},
       {{0, 100, 3 * cluster}},
       {{{100, 101}, kRecoveryPartial}}},
      {"nothing to read, or nowhere", {},
       {{0, 0, 0}, {1, 0, cluster}, {2, 102, cluster}},
       {{{}, kRecoveryGood}, {{}, kRecoveryUnknown}, {{}, kRecoveryUnknown}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmallFat v(c.inUse);
    const DeletedClusters shared = ShareDeletedClusters(v.g, v.fat, c.entries);
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(shared.ClustersOf(static_cast<std::uint32_t>(i)), c.expected[i].clusters) << "entry " << i;
      if (!c.entries[i].folder) {
        EXPECT_EQ(shared.chances[i], c.expected[i].chance) << "entry " << i;
      }
    }
  }
}

}  // namespace
}  // namespace kestrum
