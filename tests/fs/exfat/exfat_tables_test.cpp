#include "fs/exfat/exfat_tables.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <numeric>
#include <set>

#include "base/text.h"
#include "exfat_image.h"
#include "fs/exfat/exfat_layout.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

// A descriptor whose tables are given directly: no device needed.
VolumeDescriptor Tables(std::uint32_t clusterCount, std::uint32_t clusterShift,
                        const std::map<std::uint32_t, std::uint32_t>& fat, bool withFat = true) {
  VolumeDescriptor v;
  v.fsKind = kFsExfat;
  WriteLe32(v.bootSector, exfatboot::kClusterCount, clusterCount);
  WriteLe32(v.bootSector, exfatboot::kHeapOffset, 64);
  v.bootSector[exfatboot::kClusterShift] = static_cast<std::uint8_t>(clusterShift);
  if (withFat) {
    std::uint32_t entries = clusterCount + 2;
    for (const auto& [c, next] : fat) entries = std::max(entries, c + 1);
    auto table = std::make_shared<std::vector<std::uint8_t>>(std::size_t{entries} * 4, 0);
    for (const auto& [c, next] : fat) WriteLe32(*table, std::size_t{c} * 4, next);
    v.readerState.fat = table;
  }
  return v;
}

std::vector<std::uint32_t> Range(std::uint32_t first, std::uint32_t count) {
  std::vector<std::uint32_t> out(count);
  std::iota(out.begin(), out.end(), first);
  return out;
}

constexpr std::uint32_t kEnd = 0xFFFFFFFF;

TEST(ContentClusters, NoFatChainFilesAreContiguousWhateverTheFatHolds) {
  // The FAT holds another file's chain through these clusters; it must not matter.
  VolumeDescriptor v = Tables(100, 0, {{10, 40}, {11, 0}, {12, kEnd}});
  EXPECT_EQ(ContentClusters(v, 10, 3 * 512 + 1, true), Range(10, 4));
  EXPECT_EQ(ContentClusters(v, 10, 3 * 512, true), Range(10, 3));
  EXPECT_EQ(ContentClusters(v, 98, 10 * 512, true), Range(98, 4)) << "the heap ends at cluster 101";
}

TEST(ContentClusters, AFragmentedFileFollowsItsChainPastAllocatedNeighbours) {
  // 10 → 20 → 21; cluster 11 belongs to another file and is allocated.
  VolumeDescriptor v = Tables(100, 0, {{10, 20}, {20, 21}, {21, kEnd}, {11, 12}, {12, kEnd}});
  auto bitmap = std::make_shared<std::vector<std::uint8_t>>(13, 0xFF);  // everything allocated
  v.readerState.bitmap = bitmap;
  ASSERT_TRUE(BitmapMarksCluster(v, 11));
  EXPECT_EQ(ContentClusters(v, 10, 3 * 512, false), (std::vector<std::uint32_t>{10, 20, 21}));
  EXPECT_EQ(ContentClusters(v, 11, 2 * 512, false), (std::vector<std::uint32_t>{11, 12}));
  EXPECT_EQ(ContentClusters(v, 10, 2 * 512, false), (std::vector<std::uint32_t>{10, 20})) << "cut at the size";
  EXPECT_EQ(ContentClusters(v, 10, 9 * 512, false), (std::vector<std::uint32_t>{10, 20, 21}))
      << "a chain shorter than the size ends at its end mark";
}

TEST(ContentClusters, AFreeEntryBeforeTheEndGoesOnInTheNextCluster) {
  // A deleted file whose chain was cleared after its second cluster.
  VolumeDescriptor v = Tables(100, 0, {{30, 50}});
  EXPECT_EQ(ContentClusters(v, 30, 4 * 512, false), (std::vector<std::uint32_t>{30, 50, 51, 52}));
  VolumeDescriptor noFat = Tables(100, 0, {}, false);
  EXPECT_EQ(ContentClusters(noFat, 30, 3 * 512, false), Range(30, 3)) << "without a FAT: contiguous";
  // Clusters 31-32 and 34 belong to live files: a deleted file skips them,
  // a live one (whose FAT is only damaged) does not.
  auto bitmap = std::make_shared<std::vector<std::uint8_t>>(13, 0);
  for (std::uint32_t c : {31u, 32u, 34u}) (*bitmap)[(c - 2) / 8] |= static_cast<std::uint8_t>(1u << ((c - 2) % 8));
  VolumeDescriptor cleared = Tables(100, 0, {});
  cleared.readerState.bitmap = bitmap;
  EXPECT_EQ(ContentClusters(cleared, 30, 4 * 512, false, true), (std::vector<std::uint32_t>{30, 33, 35, 36}));
  EXPECT_EQ(ContentClusters(cleared, 30, 3 * 512, false, false), Range(30, 3));
  EXPECT_EQ(ContentClusters(cleared, 98, 9 * 512, false, true), Range(98, 4)) << "the heap's end still ends it";
}

TEST(ContentClusters, LoopsAndWildEntriesEnd) {
  VolumeDescriptor small = Tables(100, 0, {{10, 11}, {11, 12}, {12, 10}});
  EXPECT_EQ(ContentClusters(small, 10, 1000 * 512, false), Range(10, 3));
  // A long loop (beyond the short-list search), on a heap of known and of unknown size.
  std::map<std::uint32_t, std::uint32_t> ring;
  for (std::uint32_t c = 100; c < 400; ++c) ring[c] = c + 1;
  ring[400] = 150;
  for (std::uint32_t count : {1000u, 0u}) {
    auto list = ContentClusters(Tables(count, 0, ring), 100, std::uint64_t{1} << 40, false);
    EXPECT_EQ(list, Range(100, 301)) << "cluster count " << count;
  }
  // Entries past the heap, the bad-cluster mark and 1 end the chain.
  EXPECT_EQ(ContentClusters(Tables(100, 0, {{10, 102}}), 10, 50 * 512, false), Range(10, 1));
  EXPECT_EQ(ContentClusters(Tables(100, 0, {{10, 0xFFFFFFF7}}), 10, 50 * 512, false), Range(10, 1));
  EXPECT_EQ(ContentClusters(Tables(100, 0, {{10, 1}}), 10, 50 * 512, false), Range(10, 1));
  // No first cluster, nothing to read, or a cluster size no exFAT volume has.
  EXPECT_TRUE(ContentClusters(small, 0, 512, false).empty());
  EXPECT_TRUE(ContentClusters(small, 1, 512, true).empty());
  EXPECT_TRUE(ContentClusters(small, 102, 512, true).empty());
  EXPECT_TRUE(ContentClusters(small, 10, 0, false).empty());
  EXPECT_TRUE(ContentClusters(Tables(100, 17, {}), 10, 512, true).empty());
}

TEST(ContentClusters, AFileAbove4GiBListsAllItsClusters) {
  // 128 KiB clusters: 5 GiB + 1 byte needs 40961 of them.
  const std::uint64_t size = (std::uint64_t{5} << 30) + 1;
  const std::uint32_t needed = 40961;
  VolumeDescriptor contiguous = Tables(50000, 8, {});
  EXPECT_EQ(ContentClusters(contiguous, 2, size, true), Range(2, needed));
  // The same file through a FAT chain that skips every other cluster.
  std::map<std::uint32_t, std::uint32_t> fat;
  std::uint32_t c = 2;
  for (std::uint32_t i = 0; i + 1 < needed; ++i, c += 2) fat[c] = c + 2;
  fat[c] = kEnd;
  auto list = ContentClusters(Tables(90000, 8, fat), 2, size, false);
  ASSERT_EQ(list.size(), needed);
  EXPECT_EQ(list.back(), c);
}

TEST(DirectoryClusters, FollowTheFlagTheChainOrTheFirstClusterOnly) {
  VolumeDescriptor v = Tables(100, 0, {{20, 25}, {25, 22}, {22, kEnd}, {40, 0}});
  EXPECT_EQ(DirectoryClusters(v, 40, 4 * 512, true), Range(40, 4)) << "no FAT chain: contiguous";
  EXPECT_EQ(DirectoryClusters(v, 20, 64 * 512, false), (std::vector<std::uint32_t>{20, 25, 22}));
  EXPECT_EQ(DirectoryClusters(v, 20, 2 * 512, false), (std::vector<std::uint32_t>{20, 25}));
  EXPECT_EQ(DirectoryClusters(v, 40, 4 * 512, false), Range(40, 1)) << "a free entry ends a directory";
  EXPECT_EQ(DirectoryClusters(Tables(100, 0, {}, false), 20, 4 * 512, false), Range(20, 1))
      << "without a FAT only the first cluster is known";
  EXPECT_EQ(DirectoryClusters(Tables(100, 0, {{7, 8}, {8, 7}}), 7, 1 << 20, false), Range(7, 2));
  // A damaged valid data length never makes a directory larger than 256 MiB.
  VolumeDescriptor big = Tables(0xFFFFFFF0, 0, {}, false);
  EXPECT_EQ(DirectoryClusters(big, 2, UINT64_MAX, true).size(), kMaxExfatDirectoryBytes / 512);
}

// The tables read from an image: bounded by the cluster count and the device.
class LoadedTables : public ::testing::Test {
 protected:
  VolumeDescriptor Load(test::ExfatImage& image, bool expectFat) {
    std::string path = dir_.File("tables.img");
    image.WriteTo(path);
    VolumeDescriptor v = image.Descriptor(path);
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path), device));
    EXPECT_EQ(LoadExfatFat(device, v), expectFat);
    LoadAllocationBitmap(device, v);
    CloseDevice(device);
    return v;
  }
  test::TempDir dir_;
};

TEST_F(LoadedTables, TheFatAndBitmapAreReadAsFarAsTheClustersNeed) {
  test::ExfatImage image;
  image.WriteRoot({});
  image.Chain({10, 30, 31});
  VolumeDescriptor v = Load(image, true);
  ASSERT_TRUE(v.readerState.fat);
  EXPECT_EQ(ExfatFatEntry(v, 0), kExfatMediaEntry);
  EXPECT_EQ(ExfatFatEntry(v, 10), 30u);
  EXPECT_EQ(ExfatFatEntry(v, 31), kEnd);
  EXPECT_EQ(ExfatFatEntry(v, 100000), 0u) << "beyond the cached FAT";
  ASSERT_TRUE(v.readerState.bitmap);
  EXPECT_TRUE(BitmapMarksCluster(v, 30));
  EXPECT_TRUE(BitmapMarksCluster(v, 4)) << "the root";
  EXPECT_FALSE(BitmapMarksCluster(v, 29));
  EXPECT_FALSE(BitmapMarksCluster(v, 1));
}

TEST_F(LoadedTables, DamagedLengthsAreCutToTheClustersAndTheDevice) {
  test::ExfatImage image;
  image.WriteRoot({});
  // A FAT length of 4 billion sectors and a bitmap of 1 TiB.
  image.image().Put32(0, exfatboot::kFatLength, 0xFFFFFFF0);
  image.PutInClusters({4}, test::Join({test::LabelEntry("X"), test::BitmapEntry(2, std::uint64_t{1} << 40)}));
  VolumeDescriptor v = Load(image, true);
  ASSERT_TRUE(v.readerState.fat);
  EXPECT_EQ(v.readerState.fat->size(), 4u * 512);
  ASSERT_TRUE(v.readerState.bitmap);
  EXPECT_EQ(v.readerState.bitmap->size(), 512u);
  // And a cluster count of 4 billion as well: the image's end bounds the FAT.
  image.image().Put32(0, exfatboot::kClusterCount, 0xFFFFFFF0);
  v = Load(image, true);
  ASSERT_TRUE(v.readerState.fat);
  EXPECT_EQ(v.readerState.fat->size(), (image.image().sectors() - 16) * 512);
  ASSERT_TRUE(v.readerState.bitmap);
  EXPECT_LE(v.readerState.bitmap->size(), image.image().sectors() * 512);
  // No FAT at all, or a FAT beyond the device.
  image.image().Put32(0, exfatboot::kFatLength, 0);
  EXPECT_FALSE(Load(image, false).readerState.fat);
  image.image().Put32(0, exfatboot::kFatLength, 8);
  image.image().Put32(0, exfatboot::kFatOffset, 0x7FFFFFFF);
  EXPECT_FALSE(Load(image, false).readerState.fat);
}

TEST_F(LoadedTables, ARootWithoutABitmapEntryCachesNoBitmap) {
  test::ExfatImage image;
  image.PutInClusters({4}, test::LabelEntry("NOBITMAP"));
  image.Chain({4});
  VolumeDescriptor v = Load(image, true);
  EXPECT_FALSE(v.readerState.bitmap);
  // A bitmap entry pointing outside the heap is no bitmap either.
  image.PutInClusters({4}, test::Join({test::LabelEntry("X"), test::BitmapEntry(5000, 64)}));
  EXPECT_FALSE(Load(image, true).readerState.bitmap);
}

}  // namespace
}  // namespace kestrum
