#include "fs/fat/fat_table.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fat_test_support.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

// A FAT32 volume whose two FAT copies (4 sectors each) differ, so that every
// loaded sector tells which copy it came from.
class LoadFatFallbacks : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kFatSectors = 4;

  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
    for (std::uint32_t copy = 0; copy < 2; ++copy) {
      for (std::uint32_t s = 0; s < kFatSectors; ++s) {
        for (std::size_t off = 0; off < 512; off += 4) {
          fat_.image.Put32(SectorOf(copy, s), off, Marker(copy, s));
        }
      }
    }
    path_ = dir_.File("fat.img");
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  static std::uint32_t Marker(std::uint32_t copy, std::uint32_t sector) { return 0x1000 * (copy + 1) + sector; }
  std::uint64_t SectorOf(std::uint32_t copy, std::uint32_t sector) const {
    return fat_.FirstFatSector() + copy * kFatSectors + sector;
  }

  // Where each loaded sector came from: 1 or 2 (the copy), 0 (zeros).
  std::vector<int> Load(bool expectOk = true) {
    VolumeDescriptor v = fat_.Write(path_);
    for (auto [copy, sector] : faults_) testing::InjectReadFault(path_, SectorOf(copy, sector), 1);
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path_), device));
    std::vector<std::uint8_t> fat(3, 0xEE);
    EXPECT_EQ(LoadFat(device, FatGeometryOf(v), fat), expectOk);
    CloseDevice(device);
    EXPECT_EQ(fat.size(), kFatSectors * 512u);
    std::vector<int> origin;
    for (std::uint32_t s = 0; s < kFatSectors && (s + 1) * 512 <= fat.size(); ++s) {
      std::uint32_t word = ReadLe32(fat, s * 512 + 100);
      origin.push_back(word == Marker(0, s) ? 1 : word == Marker(1, s) ? 2 : word == 0 ? 0 : -1);
    }
    return origin;
  }

  test::SyntheticFat fat_{true};
  std::vector<std::pair<std::uint32_t, std::uint32_t>> faults_;  // (copy, sector)
  test::TempDir dir_;
  std::string path_;
};

TEST_F(LoadFatFallbacks, FirstCopyWhenItReads) { EXPECT_EQ(Load(), (std::vector<int>{1, 1, 1, 1})); }

TEST_F(LoadFatFallbacks, SecondCopyWholeWhenTheFirstFails) {
  faults_ = {{0, 1}};
  EXPECT_EQ(Load(), (std::vector<int>{2, 2, 2, 2}));
}

TEST_F(LoadFatFallbacks, SectorBySectorWhenBothCopiesHaveBadSectors) {
  faults_ = {{0, 1}, {1, 2}};
  EXPECT_EQ(Load(), (std::vector<int>{2, 2, 1, 2}));
}

TEST_F(LoadFatFallbacks, ZerosWhereBothCopiesFailInOneSector) {
  faults_ = {{0, 1}, {1, 1}, {1, 3}};
  EXPECT_EQ(Load(), (std::vector<int>{2, 0, 2, 1}));
}

TEST_F(LoadFatFallbacks, OneCopyOnlyLeavesItsBadSectorsZero) {
  fat_.BootSector()[16] = 1;
  faults_ = {{0, 2}};
  EXPECT_EQ(Load(), (std::vector<int>{1, 1, 0, 1}));
}

TEST_F(LoadFatFallbacks, AStopDuringTheSectorWalkIsReported) {
  faults_ = {{0, 0}, {1, 0}};
  RequestAbort();
  Load(/*expectOk=*/false);
}

TEST_F(LoadFatFallbacks, AnAbsurdFatSizeLoadsNoMoreThanTheDeviceHolds) {
  WriteLe32(fat_.BootSector(), 36, 0x7FFFFFFF);
  WriteLe32(fat_.BootSector(), 32, 0xFFFFFFFF);
  VolumeDescriptor v = fat_.Write(path_);
  FatGeometry g = FatGeometryOf(v);
  EXPECT_EQ(g.clusterCount, 0u) << "the FAT would end past the volume";
  WriteLe32(fat_.BootSector(), 36, 0x00FFFFFF);
  v = fat_.Write(path_);
  g = FatGeometryOf(v);
  ASSERT_EQ(g.clusterCount, kFat32MaxClusters);
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(FromUtf8(path_), device));
  std::vector<std::uint8_t> fat;
  EXPECT_TRUE(LoadFat(device, g, fat));
  CloseDevice(device);
  EXPECT_EQ(fat.size(), (fat_.image.sectors() - fat_.FirstFatSector()) * 512);
  EXPECT_EQ(ReadLe32(fat, 100), Marker(0, 0));
}

TEST(FatEntries, NextClusterByWidthAndBeyondTheTable) {
  std::vector<std::uint8_t> fat(16);
  WriteLe16(fat, 2 * 3, 0xABCD);
  EXPECT_EQ(NextCluster(fat, false, 3), 0xABCDu);
  EXPECT_EQ(NextCluster(fat, false, 7), 0u);
  EXPECT_EQ(NextCluster(fat, false, 8), 0u) << "past the loaded bytes";
  EXPECT_EQ(NextCluster(fat, false, 0xFFFFFFFF), 0u);
  WriteLe32(fat, 4 * 2, 0xF0000123);
  EXPECT_EQ(NextCluster(fat, true, 2), 0x123u) << "the reserved top bits are not part of the cluster";
  EXPECT_EQ(NextCluster(fat, true, 4), 0u);
  EXPECT_EQ(NextCluster(ByteView(), true, 2), 0u);
  // 12-bit entries 2 and 3 share bytes 3-5: 0x345 and 0xABC as "45 C3 AB".
  std::vector<std::uint8_t> fat12{0xF0, 0xFF, 0xFF, 0x45, 0xC3, 0xAB, 0xFF};
  EXPECT_EQ(NextCluster(fat12, kFat12, 2), 0x345u);
  EXPECT_EQ(NextCluster(fat12, kFat12, 3), 0xABCu);
  EXPECT_EQ(NextCluster(fat12, kFat12, 4), 0x0FFu) << "the last byte alone";
  EXPECT_EQ(NextCluster(fat12, kFat12, 5), 0u) << "past the loaded bytes";
  EXPECT_FALSE(IsEndOfChain(kFat12, 0xFF7));
  EXPECT_TRUE(IsEndOfChain(kFat12, 0xFF8));
}

TEST(FatEntries, EndOfChainMarks) {
  EXPECT_FALSE(IsEndOfChain(false, 0xFFF7));  // bad cluster
  EXPECT_TRUE(IsEndOfChain(false, 0xFFF8));
  EXPECT_TRUE(IsEndOfChain(false, 0xFFFF));
  EXPECT_FALSE(IsEndOfChain(true, 0xFFF8));
  EXPECT_FALSE(IsEndOfChain(true, 0x0FFFFFF7));
  EXPECT_TRUE(IsEndOfChain(true, 0x0FFFFFF8));
  EXPECT_TRUE(IsEndOfChain(true, 0xFFFFFFFF));
  EXPECT_TRUE(IsEndOfChain(true, 0xAFFFFFF8)) << "judged without the top four bits";
}

TEST(ClusterSet, RunsMergeAndRepeatsAreRefused) {
  ClusterRuns runs;
  for (std::uint32_t c = 10; c < 1010; ++c) ASSERT_TRUE(runs.Insert(c));
  EXPECT_EQ(runs.RunCount(), 1u) << "a contiguous chain is one run";
  EXPECT_FALSE(runs.Insert(10));
  EXPECT_FALSE(runs.Insert(500));
  EXPECT_FALSE(runs.Insert(1009));
  EXPECT_TRUE(runs.Insert(5));
  EXPECT_TRUE(runs.Insert(7));
  EXPECT_EQ(runs.RunCount(), 3u);
  EXPECT_TRUE(runs.Insert(6));  // joins 5 and 7
  EXPECT_TRUE(runs.Insert(9));  // joins the run from 10 on; 8 is still missing
  EXPECT_EQ(runs.RunCount(), 2u);
  EXPECT_TRUE(runs.Insert(8));  // now 5 … 1009 is one run
  EXPECT_EQ(runs.RunCount(), 1u);
  for (std::uint32_t c : {4u, 1010u, 0u, 0xFFFFFFFFu}) EXPECT_FALSE(runs.Contains(c)) << c;
  for (std::uint32_t c : {5u, 8u, 9u, 1009u}) EXPECT_TRUE(runs.Contains(c)) << c;
  EXPECT_TRUE(runs.Insert(0xFFFFFFFF));
  EXPECT_TRUE(runs.Insert(0));
  EXPECT_FALSE(runs.Insert(0xFFFFFFFF));
}

}  // namespace
}  // namespace kestrum
