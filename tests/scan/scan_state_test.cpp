// The scan's scheduling: the priority list a fresh scan starts with, the
// order NextBlock hands blocks out in, hints queued by QueueBlock, and the
// finding store that keeps out-of-order blocks sorted.

#include <gtest/gtest.h>

#include <vector>

#include "scan/finding_store.h"
#include "scan/scan_state.h"

namespace kestrum {
namespace {

VolumeDescriptor Area(Sector32 start, Sector32 count, Sector32 diskSectors) {
  VolumeDescriptor v;
  v.startSector = start;
  v.sectorCount = count;
  v.diskSectors = diskSectors;
  v.diskDescription = u"TEST DISK";
  return v;
}

std::vector<Sector32> Drain(ScanState& state, std::size_t limit = 100000) {
  std::vector<Sector32> out;
  while (out.size() < limit) {
    std::optional<Sector32> next = state.NextBlock();
    if (!next) break;
    out.push_back(*next);
  }
  return out;
}

constexpr Sector32 kGiB = 2097152;
constexpr Sector32 k100MiB = 204800;

struct PriorityCase {
  const char* name;
  Sector32 start, count, disk;
  ScanRequest request;
  std::vector<Sector32> expected;  // the priority list, in order
};
void PrintTo(const PriorityCase& c, std::ostream* os) { *os << c.name; }

class PriorityList : public ::testing::TestWithParam<PriorityCase> {};

TEST_P(PriorityList, FreshScanStartsWithRegionThenMarks) {
  const PriorityCase& c = GetParam();
  ScanState state;
  state.PrepareScan(Area(c.start, c.count, c.disk), c.request);
  EXPECT_EQ(state.PriorityBlocks(), c.expected);
  EXPECT_EQ(state.store.FindingCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Scan, PriorityList,
    ::testing::Values(
        // A 1 GiB partition: only the region and the 100 MiB marks.
        PriorityCase{"partition_1GiB", 2048, kGiB, 3 * kGiB, {kScanPartition, 0, 0},
                     {0, 1 * k100MiB, 2 * k100MiB, 3 * k100MiB, 4 * k100MiB, 5 * k100MiB, 6 * k100MiB,
                      7 * k100MiB, 8 * k100MiB, 9 * k100MiB, 10 * k100MiB}},
        // Length 0 still gives the region's own block; a region of 3 blocks gives 3
        // (its end sector's block included).
        PriorityCase{"region_len0", 0, 8192 * 10, 8192 * 10, {kScanDisk, 20000, 0}, {16384, 0}},
        PriorityCase{"region_3blocks", 0, 8192 * 10, 8192 * 10, {kScanDisk, 8192, 16384},
                     {8192, 16384, 24576, 0}},
        // Above 2 GiB: 1 GiB marks before the 100 MiB ones, none below the area.
        PriorityCase{"disk_3GiB", 0, 3 * kGiB, 3 * kGiB, {kScanDisk, 0, 0},
                     {0, 0, kGiB, 2 * kGiB, 3 * kGiB, 0, k100MiB, 2 * k100MiB, 3 * k100MiB, 4 * k100MiB,
                      5 * k100MiB, 6 * k100MiB, 7 * k100MiB, 8 * k100MiB, 9 * k100MiB, 10 * k100MiB,
                      11 * k100MiB, 12 * k100MiB, 13 * k100MiB, 14 * k100MiB, 15 * k100MiB, 16 * k100MiB,
                      17 * k100MiB, 18 * k100MiB, 19 * k100MiB, 20 * k100MiB, 21 * k100MiB, 22 * k100MiB,
                      23 * k100MiB, 24 * k100MiB, 25 * k100MiB, 26 * k100MiB, 27 * k100MiB, 28 * k100MiB,
                      29 * k100MiB, 30 * k100MiB}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanOrder, PriorityFirstThenSequentialEachBlockOnce) {
  ScanState state;
  // 10 blocks; region at block 7; 100 MiB marks fall outside this small area
  // except sector 0.
  state.PrepareScan(Area(0, 8192 * 10, 8192 * 10), {kScanDisk, 7 * 8192, 0});
  std::vector<Sector32> order = Drain(state);
  std::vector<Sector32> expected = {7 * 8192, 0};
  for (Sector32 b = 1; b < 10; ++b) {
    if (b != 7) expected.push_back(b * 8192);
  }
  EXPECT_EQ(order, expected);
  for (Sector32 b : order) EXPECT_EQ(state.map.Get(b), kBlockClaimed);
  EXPECT_FALSE(state.NextBlock().has_value());
}

TEST(ScanOrder, HintsJumpTheQueueAndStayInsideTheRange) {
  ScanState state;
  // A partition of 20 blocks starting mid-block: the first block starts below it.
  state.PrepareScan(Area(8192 * 4 + 100, 8192 * 20, 8192 * 40), {kScanPartition, 0, 0});
  EXPECT_EQ(state.firstBlock, 8192u * 4);
  EXPECT_EQ(state.lastBlock, 8192u * 24);
  // Region block 0 lies outside the area and is read all the same.
  EXPECT_EQ(state.NextBlock(), std::optional<Sector32>(0));
  state.QueueBlock(8192 * 3 + 5);   // below the range: ignored
  state.QueueBlock(8192 * 25);      // above it: ignored
  state.QueueBlock(8192 * 10 + 77);  // queued...
  state.QueueBlock(8192 * 12);       // ...and this one, later, is read first
  EXPECT_EQ(state.NextBlock(), std::optional<Sector32>(8192 * 12));
  EXPECT_EQ(state.NextBlock(), std::optional<Sector32>(8192 * 10));
  // A hint for a block already analysed is dropped without a read.
  state.map.Set(8192 * 6, kBlockAnalysed);
  state.QueueBlock(8192 * 6);
  std::vector<Sector32> rest = Drain(state);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), 8192u * 6), 0);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), 8192u * 10), 0);
  // Every block of the range came out once, over both calls.
  rest.insert(rest.end(), {0, 8192 * 12, 8192 * 10, 8192 * 6});
  std::sort(rest.begin(), rest.end());
  std::vector<Sector32> all = {0};
  for (Sector32 b = 4; b <= 24; ++b) all.push_back(b * 8192);
  EXPECT_EQ(rest, all);
}

TEST(ScanOrder, StoppedScanReleasesClaimedBlocksForTheNextRun) {
  ScanState state;
  state.PrepareScan(Area(0, 8192 * 6, 8192 * 6), {kScanDisk, 0, 0});
  for (int i = 0; i < 3; ++i) state.NextBlock();  // 0 (region), then 8192, 16384
  state.map.Set(0, kBlockAnalysed);
  state.map.Set(8192, kBlockAnalysed);
  state.ReleaseClaimedBlocks();  // 16384 was claimed, never analysed
  EXPECT_EQ(state.map.Get(16384), kBlockUnread);
  EXPECT_EQ(state.AnalysedBlocks(), 2u);
  EXPECT_EQ(Drain(state), (std::vector<Sector32>{16384, 24576, 32768, 40960}));
}

ScanFinding At(Sector32 sector, ScanCategory category = kCategoryJpg) {
  ScanFinding f;
  f.sector = sector;
  f.category = category;
  return f;
}

TEST(FindingStore, BlocksInAnyOrderCollectSortedAndStoredOnce) {
  FindingStore store;
  auto block = [&](Sector32 first, std::vector<Sector32> sectors) {
    std::vector<ScanFinding> findings;
    for (Sector32 s : sectors) findings.push_back(At(s));
    store.StoreBlockFindings(first, first + 8191, std::move(findings));
  };
  block(8192 * 5, {8192 * 5 + 1, 8192 * 5 + 9});
  block(8192 * 1, {8192 + 3});
  block(8192 * 4, {8192 * 4 + 8000});           // joins the front of block 5's range
  block(8192 * 2, {8192 * 2});                  // appends to block 1's range
  block(8192 * 9, {8192 * 9 + 1});              // a range of its own at the end
  block(8192 * 7, {8192 * 7});                  // inserted between
  block(8192 * 5, {8192 * 5 + 2});              // stored before: discarded
  block(8192 * 3, {});                          // nothing to store
  std::vector<Sector32> sectors;
  for (const ScanFinding& f : store.CollectFindings()) sectors.push_back(f.sector);
  EXPECT_EQ(sectors, (std::vector<Sector32>{8192 + 3, 8192 * 2, 8192 * 4 + 8000, 8192 * 5 + 1, 8192 * 5 + 9,
                                            8192 * 7, 8192 * 9 + 1}));
  EXPECT_EQ(store.Ranges().size(), 4u);
}

TEST(Reuse, AskedOnlyForTheSameDeviceAndArea) {
  ScanState state;
  int asked = 0;
  auto yes = [&](const std::u16string& q) {
    EXPECT_EQ(q, kReuseQuestion);
    ++asked;
    return true;
  };
  const VolumeDescriptor part = Area(8192 * 4, 8192 * 8, 8192 * 40);
  EXPECT_FALSE(OfferReuse(state, part, {kScanPartition, 0, 0}, yes));
  EXPECT_EQ(asked, 0);
  state.store.StoreBlockFindings(8192 * 4, 8192 * 5 - 1, {At(8192 * 4)});
  EXPECT_TRUE(OfferReuse(state, part, {kScanPartition, 0, 0}, yes));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(state.store.FindingCount(), 1u);
  // Another partition of the same disk: no question, fresh state.
  EXPECT_FALSE(OfferReuse(state, Area(8192 * 20, 8192 * 8, 8192 * 40), {kScanPartition, 0, 0}, yes));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(state.store.FindingCount(), 0u);
  // No: discarded.
  state.store.StoreBlockFindings(8192 * 20, 8192 * 21 - 1, {At(8192 * 20)});
  EXPECT_FALSE(OfferReuse(state, Area(8192 * 20, 8192 * 8, 8192 * 40), {kScanPartition, 0, 0},
                          [](const std::u16string&) { return false; }));
  EXPECT_EQ(state.store.FindingCount(), 0u);
  // A descriptor without a description is never offered reuse.
  VolumeDescriptor anonymous = Area(0, 8192 * 40, 8192 * 40);
  anonymous.diskDescription.clear();
  OfferReuse(state, anonymous, {kScanDisk, 0, 0}, yes);
  EXPECT_FALSE(OfferReuse(state, anonymous, {kScanDisk, 0, 0}, yes));
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace kestrum
