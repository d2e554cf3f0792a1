#include "disk/device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "disk/volume_descriptor.h"
#include "support/run_state.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

// An image whose every sector starts with its own number.
class NumberedImage : public ::testing::Test {
 protected:
  static constexpr std::uint64_t kSectors = 64;

  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
    test::SectorImage image(kSectors);
    for (std::uint64_t s = 0; s < kSectors; ++s) image.Put32(s, 0, static_cast<std::uint32_t>(s) + 1000);
    path_ = dir_.File("numbered.img");
    image.WriteTo(path_);
    ASSERT_TRUE(OpenDevice(FromUtf8(path_), device_));
  }

  void TearDown() override {
    CloseDevice(device_);
    testing::ClearReadFaults();
  }

  static std::uint32_t FirstWord(const std::vector<std::uint8_t>& buffer, std::size_t sector) {
    const std::uint8_t* p = buffer.data() + sector * 512;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }

  static bool TakeReadError(ReadErrorStatus& out) {
    StatusMessage m;
    if (!TakeStatus(m) || m.kind != StatusKind::kReadError) return false;
    out = m.readError;
    return true;
  }

  test::TempDir dir_;
  std::string path_;
  DeviceHandle device_;
};

TEST_F(NumberedImage, OpensReadOnlyWithTheSizeAsLimit) {
  EXPECT_EQ(device_.sectorLimit, kSectors);
  EXPECT_EQ(device_.name, FromUtf8(path_));
  std::vector<std::uint8_t> sector(512, 0xAB);
  EXPECT_FALSE(WriteSectors(device_, sector, 3)) << "a reading handle must not write";
  DeviceHandle missing;
  EXPECT_FALSE(OpenDevice(u"/nonexistent/disk.img", missing));
  EXPECT_FALSE(missing.IsOpen());
}

TEST_F(NumberedImage, ReadsWholeRangesAtSectorNumbers) {
  std::vector<std::uint8_t> buffer(4 * 512);
  ASSERT_TRUE(ReadSectors(device_, buffer, 10, 4));
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(FirstWord(buffer, i), 1010 + i);
  std::vector<std::uint8_t> small(512);
  EXPECT_FALSE(ReadSectors(device_, small, 10, 2)) << "a buffer too small for the count is refused";
}

TEST_F(NumberedImage, ReadsPastTheEndFailSilently) {
  std::vector<std::uint8_t> buffer(2 * 512);
  EXPECT_FALSE(ReadSectors(device_, buffer, kSectors, 1));
  EXPECT_FALSE(ReadSectors(device_, buffer, kSectors + 5, 1));
  EXPECT_FALSE(ReadSectors(device_, buffer, (1ull << 32) + 3, 1)) << "high 32 bits set";
  StatusMessage m;
  EXPECT_FALSE(TakeStatus(m));
}

TEST_F(NumberedImage, ARangeRunningOffTheEndIsReportedFromItsStart) {
  std::vector<std::uint8_t> buffer(4 * 512);
  EXPECT_FALSE(ReadSectors(device_, buffer, kSectors - 2, 4));
  ReadErrorStatus e;
  ASSERT_TRUE(TakeReadError(e));
  EXPECT_EQ(e.sector, kSectors - 2);
  EXPECT_EQ(e.count, 4u);
}

TEST_F(NumberedImage, AFailingReadInsideTheDeviceIsReportedWithSectorCountAndName) {
  testing::InjectReadFault(path_, 20, 1);
  std::vector<std::uint8_t> buffer(8 * 512);
  EXPECT_FALSE(ReadSectors(device_, buffer, 16, 8));
  ReadErrorStatus e;
  ASSERT_TRUE(TakeReadError(e));
  EXPECT_EQ(e.sector, 16u);
  EXPECT_EQ(e.count, 8u);
  EXPECT_EQ(FixedText(e.device), FromUtf8(path_));
  EXPECT_TRUE(ReadSectors(device_, buffer, 21, 8)) << "sectors after the bad one read";
}

TEST_F(NumberedImage, AnUnknownSizeReportsEveryFailure) {
  DeviceHandle unknown = device_;
  unknown.sectorLimit = 0;
  std::vector<std::uint8_t> buffer(512);
  EXPECT_FALSE(ReadSectors(unknown, buffer, kSectors + 100, 1));
  ReadErrorStatus e;
  ASSERT_TRUE(TakeReadError(e));
  EXPECT_EQ(e.sector, kSectors + 100);
}

TEST_F(NumberedImage, MappedReadZeroFillsAndMapsExactlyTheBadSector) {
  testing::InjectReadFault(path_, 13, 1);
  std::vector<std::uint8_t> buffer(8 * 512, 0xEE);
  std::vector<std::uint8_t> map(8, 7);
  EXPECT_FALSE(ReadSectorsMapped(device_, buffer, 10, 8, map.data()));
  for (std::size_t i = 0; i < 8; ++i) {
    if (i == 3) {
      EXPECT_EQ(map[i], 0);
      EXPECT_TRUE(std::all_of(buffer.begin() + 3 * 512, buffer.begin() + 4 * 512,
                              [](std::uint8_t b) { return b == 0; }));
    } else {
      EXPECT_EQ(map[i], 1) << i;
      EXPECT_EQ(FirstWord(buffer, i), 1010 + i) << i;
    }
  }
  // The whole-range failure and the bad sector itself are both reported;
  // the slot holds the later one.
  ReadErrorStatus e;
  ASSERT_TRUE(TakeReadError(e));
  EXPECT_EQ(e.sector, 13u);
  EXPECT_EQ(e.count, 1u);
}

TEST_F(NumberedImage, MappedReadWithoutAMapStillFillsTheBuffer) {
  testing::InjectReadFault(path_, 11, 2);
  std::vector<std::uint8_t> buffer(4 * 512, 0xEE);
  EXPECT_FALSE(ReadSectorsMapped(device_, buffer, 10, 4, nullptr));
  EXPECT_EQ(FirstWord(buffer, 0), 1010u);
  EXPECT_EQ(FirstWord(buffer, 1), 0u);
  EXPECT_EQ(FirstWord(buffer, 2), 0u);
  EXPECT_EQ(FirstWord(buffer, 3), 1013u);
}

TEST_F(NumberedImage, MappedReadInOnePieceAnswersTrue) {
  std::vector<std::uint8_t> buffer(4 * 512);
  std::vector<std::uint8_t> map(4, 0);
  EXPECT_TRUE(ReadSectorsMapped(device_, buffer, 0, 4, map.data()));
  EXPECT_EQ(std::accumulate(map.begin(), map.end(), 0), 4);
}

TEST_F(NumberedImage, MappedReadStopsOnAbortLeavingTheRestZeroAndMappedGood) {
  testing::InjectReadFault(path_, 0, 1);
  RequestAbort();
  std::vector<std::uint8_t> buffer(4 * 512, 0xEE);
  std::vector<std::uint8_t> map(4, 9);
  EXPECT_FALSE(ReadSectorsMapped(device_, buffer, 0, 4, map.data()));
  EXPECT_EQ(map[0], 0);
  EXPECT_EQ(map[1], 1);
  EXPECT_EQ(FirstWord(buffer, 1), 0u) << "not tried after the abort";
  test::PrepareRun();
}

TEST_F(NumberedImage, AVolumeOpenedThroughItsDiskUsesAbsoluteSectorsAndItsEndAsLimit) {
  VolumeDescriptor volume;
  volume.diskPath = FromUtf8(path_);
  volume.diskDescription = u"TEST DISK";
  volume.startSector = 8;
  volume.sectorCount = 16;
  DeviceHandle handle = OpenVolumeOnDisk(volume);
  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(handle.name, u"TEST DISK");
  EXPECT_EQ(handle.sectorLimit, 24u);
  std::vector<std::uint8_t> buffer(512);
  ASSERT_TRUE(ReadSectors(handle, buffer, 8, 1));
  EXPECT_EQ(FirstWord(buffer, 0), 1008u);
  testing::InjectReadFault(path_, 9, 1);
  EXPECT_FALSE(ReadSectors(handle, buffer, 9, 1));
  ReadErrorStatus e;
  ASSERT_TRUE(TakeReadError(e));
  EXPECT_EQ(FixedText(e.device), u"TEST DISK");
  CloseDevice(handle);
}

TEST_F(NumberedImage, AWindowReadsRelativeToItsFirstSector) {
  DeviceHandle window;
  ASSERT_TRUE(OpenDeviceWindow(FromUtf8(path_), 40, 8, window));
  std::vector<std::uint8_t> buffer(512);
  ASSERT_TRUE(ReadSectors(window, buffer, 2, 1));
  EXPECT_EQ(FirstWord(buffer, 0), 1042u);
  EXPECT_FALSE(ReadSectors(window, buffer, 8, 1)) << "past the window";
  StatusMessage m;
  EXPECT_FALSE(TakeStatus(m));
  CloseDevice(window);
}

TEST_F(NumberedImage, TheRepairHandleWritesExactlyOneSector) {
  DeviceHandle writer;
  ASSERT_TRUE(OpenDeviceForRepair(FromUtf8(path_), writer));
  std::vector<std::uint8_t> sector(512, 0x5A);
  ASSERT_TRUE(WriteSectors(writer, sector, 7));
  CloseDevice(writer);
  std::vector<std::uint8_t> buffer(3 * 512);
  ASSERT_TRUE(ReadSectors(device_, buffer, 6, 3));
  EXPECT_EQ(FirstWord(buffer, 0), 1006u);
  EXPECT_EQ(buffer[512], 0x5A);
  EXPECT_EQ(buffer[1023], 0x5A);
  EXPECT_EQ(FirstWord(buffer, 2), 1008u);
}

// Reading a failing range in calls of a given size, as the scan and the
// copy routines do: every bad sector is zero and 0 in the map, a long run
// costs a few reads of bad sectors instead of one each, and what was lost
// is counted on the handle.
TEST(BadRuns, AreReadAroundAndSkippedAheadWhenLong) {
  struct Case {
    const char* name;
    std::vector<std::pair<Sector64, Sector64>> bad;  // first, count
    std::uint32_t call;                              // sectors a call reads
    std::uint64_t maxFaultedReads;
    std::uint64_t maxGoodLost;  // good sectors a skip may pass over
  };
  const std::vector<Case> cases = {
      {"one bad sector", {{100, 1}}, 8192, 2, 0},
      {"a short run, tried alone", {{100, 5}}, 8192, 6, 0},
      // 8 alone, probes after stretches of 8, 16, …, 512, then the back
      // reads from the good sector after the last stretch: exact.
      {"a long run in one call", {{300, 1000}}, 8192, 18, 0},
      {"two long runs", {{300, 1000}, {5000, 2000}}, 8192, 40, 0},
      {"a run to the end of the range", {{7000, 1192}}, 8192, 20, 0},
      // The stretch goes on into the next call, whose first sectors are
      // passed over unread; the back reads stay inside one call.
      {"a long run across calls", {{300, 1000}}, 256, 30, 0},
  };
  test::TempDir dir;
  constexpr Sector64 kSectors = 8192;
  test::SectorImage image(kSectors);
  for (Sector64 s = 0; s < kSectors; ++s) image.Put32(s, 0, static_cast<std::uint32_t>(s) + 1);
  const std::string path = dir.File("failing.img");
  image.WriteTo(path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::PrepareRun();
    testing::ClearReadFaults();
    std::vector<bool> isBad(kSectors, false);
    for (auto [first, count] : c.bad) {
      testing::InjectReadFault(path, first, count);
      for (Sector64 s = first; s < first + count; ++s) isBad[s] = true;
    }
    DeviceHandle device;
    ASSERT_TRUE(OpenDevice(FromUtf8(path), device));
    const std::uint64_t faultedBefore = testing::FaultedReads();
    std::vector<std::uint8_t> buffer(std::size_t{c.call} * 512);
    std::vector<std::uint8_t> map(c.call);
    std::uint64_t zeros = 0, goodLost = 0;
    for (Sector64 at = 0; at < kSectors; at += c.call) {
      ReadSectorsMapped(device, buffer, at, c.call, map.data());
      for (std::uint32_t i = 0; i < c.call; ++i) {
        const Sector64 s = at + i;
        std::uint32_t word = 0;
        std::memcpy(&word, buffer.data() + std::size_t{i} * 512, 4);
        if (isBad[s]) {
          ASSERT_EQ(map[i], 0) << s;
          ASSERT_EQ(word, 0u) << s;
        } else if (map[i] == 0) {
          ++goodLost;
          ASSERT_EQ(word, 0u) << s;
        } else {
          ASSERT_EQ(word, s + 1) << s;
        }
        zeros += map[i] == 0;
      }
    }
    EXPECT_LE(testing::FaultedReads() - faultedBefore, c.maxFaultedReads);
    EXPECT_LE(goodLost, c.maxGoodLost);
    const ReadCounts counts = device.health->Counts();
    EXPECT_EQ(counts.Lost(), zeros) << "every zero is counted, once";
    EXPECT_GT(counts.unreadableSectors, 0u);
    CloseDevice(device);
  }
  testing::ClearReadFaults();
  StatusMessage m;
  while (TakeStatus(m)) {}
}

std::vector<std::uint32_t> Positions(std::uint32_t first, const std::vector<std::uint32_t>& gaps) {
  std::vector<std::uint32_t> p = {first};
  for (std::uint32_t g : gaps) p.push_back(p.back() + g);
  return p;
}

TEST(EstimateClusterStride, NeedsTwentyPositions) {
  std::uint32_t stride = 77;
  EXPECT_FALSE(EstimateClusterStride(Positions(100, std::vector<std::uint32_t>(18, 64)), stride));
  EXPECT_EQ(stride, 77u) << "left unchanged";
  EXPECT_TRUE(EstimateClusterStride(Positions(100, std::vector<std::uint32_t>(19, 64)), stride));
  EXPECT_EQ(stride, 64u);
}

TEST(EstimateClusterStride, TakesThePowerOfTwoMostGapsShare) {
  std::vector<std::uint32_t> gaps(19, 8);
  gaps[2] = gaps[9] = gaps[15] = 16;  // 16 divides only three gaps
  std::uint32_t stride = 0;
  ASSERT_TRUE(EstimateClusterStride(Positions(5000, gaps), stride));
  EXPECT_EQ(stride, 8u);
}

TEST(EstimateClusterStride, NoEvenGapGivesNoAnswer) {
  std::uint32_t stride = 3;
  EXPECT_FALSE(EstimateClusterStride(Positions(1, std::vector<std::uint32_t>(25, 7)), stride));
  EXPECT_EQ(stride, 3u);
}

TEST(EstimateClusterStride, WrappingGapsAreTakenModulo32Bits) {
  // Positions that go down wrap around in unsigned arithmetic: 2^32 − 32 is
  // divisible by 32, so descending runs 32 apart still give 32.
  std::vector<std::uint32_t> positions;
  for (int i = 0; i < 30; ++i) positions.push_back((1u << 20) - 32u * static_cast<std::uint32_t>(i));
  std::uint32_t stride = 0;
  ASSERT_TRUE(EstimateClusterStride(positions, stride));
  EXPECT_EQ(stride, 32u);
}

}  // namespace
}  // namespace kestrum
