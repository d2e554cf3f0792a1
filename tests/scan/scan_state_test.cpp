// The scan's scheduling: the priority list a fresh scan starts with, the
// order NextBlock hands blocks out in, hints queued by QueueBlock, and the
// finding store that keeps out-of-order blocks sorted.

#include <gtest/gtest.h>

#include <vector>

#include "scan/finding_store.h"
#include "scan/scan_hints.h"
#include "scan/scan_state.h"

namespace kestrum {
namespace {

VolumeDescriptor Area(Sector64 start, Sector64 count, Sector64 diskSectors) {
  VolumeDescriptor v;
  v.startSector = start;
  v.sectorCount = count;
  v.diskSectors = diskSectors;
  v.diskDescription = u"TEST DISK";
  return v;
}

std::vector<Sector64> Drain(ScanState& state, std::size_t limit = 100000) {
  std::vector<Sector64> out;
  while (out.size() < limit) {
    std::optional<Sector64> next = state.NextBlock();
    if (!next) break;
    out.push_back(*next);
  }
  return out;
}

constexpr Sector64 kGiB = 2097152;
constexpr Sector64 k100MiB = 204800;

struct PriorityCase {
  const char* name;
  Sector64 start, count, disk;
  ScanRequest request;
  std::vector<Sector64> expected;  // the priority list, in order
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
  std::vector<Sector64> order = Drain(state);
  std::vector<Sector64> expected = {7 * 8192, 0};
  for (Sector64 b = 1; b < 10; ++b) {
    if (b != 7) expected.push_back(b * 8192);
  }
  EXPECT_EQ(order, expected);
  for (Sector64 b : order) EXPECT_EQ(state.map.Get(b), kBlockClaimed);
  EXPECT_FALSE(state.NextBlock().has_value());
}

TEST(ScanOrder, HintsJumpTheQueueAndStayInsideTheRange) {
  ScanState state;
  // A partition of 20 blocks starting mid-block: the first block starts below it.
  state.PrepareScan(Area(8192 * 4 + 100, 8192 * 20, 8192 * 40), {kScanPartition, 0, 0});
  EXPECT_EQ(state.firstBlock, 8192u * 4);
  EXPECT_EQ(state.lastBlock, 8192u * 24);
  // Region block 0 lies outside the area and is read all the same.
  EXPECT_EQ(state.NextBlock(), std::optional<Sector64>(0));
  state.QueueBlock(8192 * 3 + 5);   // below the range: ignored
  state.QueueBlock(8192 * 25);      // above it: ignored
  state.QueueBlock(8192 * 10 + 77);  // queued...
  state.QueueBlock(8192 * 12);       // ...and this one, later, is read first
  EXPECT_EQ(state.NextBlock(), std::optional<Sector64>(8192 * 12));
  EXPECT_EQ(state.NextBlock(), std::optional<Sector64>(8192 * 10));
  // A hint for a block already analysed is dropped without a read.
  state.map.Set(8192 * 6, kBlockAnalysed);
  state.QueueBlock(8192 * 6);
  std::vector<Sector64> rest = Drain(state);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), 8192u * 6), 0);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), 8192u * 10), 0);
  // Every block of the range came out once, over both calls.
  rest.insert(rest.end(), {0, 8192 * 12, 8192 * 10, 8192 * 6});
  std::sort(rest.begin(), rest.end());
  std::vector<Sector64> all = {0};
  for (Sector64 b = 4; b <= 24; ++b) all.push_back(b * 8192);
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
  EXPECT_EQ(Drain(state), (std::vector<Sector64>{16384, 24576, 32768, 40960}));
}

ScanFinding At(Sector64 sector, ScanCategory category = kCategoryJpg) {
  ScanFinding f;
  f.sector = sector;
  f.category = category;
  return f;
}

TEST(FindingStore, BlocksInAnyOrderCollectSortedAndStoredOnce) {
  FindingStore store;
  auto block = [&](Sector64 first, std::vector<Sector64> sectors) {
    std::vector<ScanFinding> findings;
    for (Sector64 s : sectors) findings.push_back(At(s));
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
  std::vector<Sector64> sectors;
  for (const ScanFinding& f : store.CollectFindings()) sectors.push_back(f.sector);
  EXPECT_EQ(sectors, (std::vector<Sector64>{8192 + 3, 8192 * 2, 8192 * 4 + 8000, 8192 * 5 + 1, 8192 * 5 + 9,
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

namespace kestrum {
namespace {

ScanFinding Boot(ScanCategory category, Sector64 sector, std::uint64_t total64, std::uint32_t total32At20) {
  ScanFinding f;
  f.category = category;
  f.sector = sector;
  std::vector<std::uint8_t> copy(512, 0);
  for (int i = 0; i < 8; ++i) copy[0x28 + i] = static_cast<std::uint8_t>(total64 >> (8 * i));
  for (int i = 0; i < 4; ++i) copy[0x20 + i] = static_cast<std::uint8_t>(total32At20 >> (8 * i));
  f.bytes = FindingBytes(copy, {}, {});
  return f;
}

ScanFinding Record(Sector64 sector, std::uint32_t number, std::u16string_view name = u"f",
                   std::vector<std::uint8_t> runs = {}) {
  ScanFinding f;
  f.category = kCategoryFileRecord;
  f.sector = sector;
  f.wordB = number;
  f.bytes = FindingBytes({}, name, runs);
  f.dataLength = static_cast<std::uint16_t>(runs.size());
  return f;
}

// The blocks QueueScanHints puts in front of an empty priority list, most
// recent first, on a disk of 4000 blocks.
std::vector<Sector64> Hinted(const std::vector<ScanFinding>& findings) {
  ScanState state;
  VolumeDescriptor disk;
  disk.sectorCount = disk.diskSectors = 8192 * 4000;
  state.PrepareScan(disk, {kScanDisk, 0, 0});
  state.SetPriorityBlocks({});
  QueueScanHints(findings, state);
  return state.PriorityBlocks();
}

TEST(ScanHints, BootSectorsQueueTheBlocksAroundTheirVolume) {
  // NTFS at 2048 of 1,000,000 sectors: the block before it (none: not above
  // 8192), and the blocks at and after its end.
  EXPECT_EQ(Hinted({Boot(kCategoryNtfsBoot, 2048, 1000000, 0)}),
            (std::vector<Sector64>{BlockStartOf(1002048 + 8192), BlockStartOf(1002048)}));
  // A backup boot sector at a volume's end: its start too, and the block below that.
  const Sector64 backup = 2048 + 999999;
  EXPECT_EQ(Hinted({Boot(kCategoryNtfsBoot, backup, 999999, 0)}),
            (std::vector<Sector64>{BlockStartOf(2048 - 0), BlockStartOf(backup + 999999 + 8192),
                                   BlockStartOf(backup + 999999), BlockStartOf(backup - 8192)}));
  // FAT32: the 32-bit total at 0x20.
  EXPECT_EQ(Hinted({Boot(kCategoryFat32Boot, 100000, 0, 50000)}),
            (std::vector<Sector64>{BlockStartOf(158192), BlockStartOf(150000), BlockStartOf(91808)}));
  // Other findings give no hints.
  EXPECT_TRUE(Hinted({Record(16384, 7), Boot(kCategoryExfatBoot, 100000, 5, 5)}).empty());
}

TEST(ScanHints, AFullBlockOfRecordsPointsAtWhereItsMftWouldBegin) {
  std::vector<ScanFinding> block;
  for (std::uint32_t i = 0; i < 120; ++i) block.push_back(Record(800000 + 2 * i, 0 + i));
  // The first record with a non-zero number is 1, at 800002: the MFT would start at 800000.
  EXPECT_EQ(Hinted(block), (std::vector<Sector64>{BlockStartOf(800000)}));
  block.resize(99);  // fewer than 100 records: no guess
  EXPECT_TRUE(Hinted(block).empty());
}

TEST(ScanHints, AnMftRunMarkedDollarMLocatesItsVolume) {
  // $MFT at cluster 4 of a volume at 409600 with 8 sectors a cluster: the run's
  // first record lies at 409632; the mirror's record says 8 sectors a cluster.
  std::vector<ScanFinding> run;
  run.push_back(Record(409632, 0, u"$MFT", {0x11, 0x10, 0x04}));  // 16 clusters at cluster 4
  ScanFinding mirror = Record(409634, 1, u"$MFTMirr", {0x11, 0x01, 0x02});  // one cluster at cluster 2
  mirror.size = 4096;
  run.push_back(mirror);
  for (std::uint32_t i = 2; i < 6; ++i) run.push_back(Record(409632 + 2 * i, i));
  EXPECT_EQ(Hinted(run), (std::vector<Sector64>{BlockStartOf(409600)}));
  run[0].bytes = FindingBytes({}, u"other", run[0].Runs());  // no $M mark: no guess
  EXPECT_TRUE(Hinted(run).empty());
}

}  // namespace
}  // namespace kestrum
