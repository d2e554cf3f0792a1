#include "disk/data_extents.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "base/text.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

bool Covered(const std::vector<SectorRun>& runs, Sector64 sector) {
  for (const SectorRun& r : runs) {
    if (sector >= r.first && sector < r.first + r.count) return true;
  }
  return false;
}

Sector64 Total(const std::vector<SectorRun>& runs) {
  Sector64 n = 0;
  for (const SectorRun& r : runs) n += r.count;
  return n;
}

// A 1 GiB sparse file with data in four places, one of them three whole
// 4 MiB blocks; the file system's blocks (up to 64 KiB) may round each run
// out.
TEST(DataExtents, ASparseFileIsReadOnlyWhereItHoldsData) {
  test::TempDir dir;
  const std::string path = dir.File("sparse.img");
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 1 << 30), 0);
  const std::vector<Sector64> written = {8, 2048, 2049, 1'000'000, 2'097'151};
  std::vector<std::uint8_t> sector(kSectorSize);
  for (Sector64 s : written) {
    std::fill(sector.begin(), sector.end(), static_cast<std::uint8_t>(s % 251 + 1));
    ASSERT_EQ(::pwrite(fd, sector.data(), kSectorSize, static_cast<off_t>(s * kSectorSize)), kSectorSize);
  }
  constexpr Sector64 kLongRun = 16 * 8192;  // blocks 16 to 18
  std::vector<std::uint8_t> run(3 * 8192 * kSectorSize);
  for (std::size_t i = 0; i < run.size(); ++i) run[i] = static_cast<std::uint8_t>(i / kSectorSize % 253 + 1);
  ASSERT_EQ(::pwrite(fd, run.data(), run.size(), static_cast<off_t>(kLongRun * kSectorSize)),
            static_cast<ssize_t>(run.size()));
  ::close(fd);

  DeviceHandle disk;
  ASSERT_TRUE(OpenDevice(FromUtf8(path), disk));
  auto runs = DataRuns(disk, 0, 2'097'152);
  for (Sector64 s : written) EXPECT_TRUE(Covered(runs, s)) << s;
  EXPECT_LE(Total(runs), 4u * 128 + 3 * 8192) << "four runs of at most 64 KiB and the long one";
  for (std::size_t i = 1; i < runs.size(); ++i) EXPECT_GT(runs[i].first, runs[i - 1].first + runs[i - 1].count);
  EXPECT_TRUE(DataRuns(disk, 4096, 8192).empty()) << "a range of holes";
  EXPECT_TRUE(DataRuns(disk, 2'097'152, 100).empty()) << "past the file's end";
  auto cut = DataRuns(disk, 2049, 10);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].first, 2049u) << "runs are cut to the range asked";

  // Holes read as the zeros they are; a range of holes is not touched.
  // Block by block, as the scan reads, over holes and a data run it was
  // told of once: the hole after the run is still seen.
  HoleSkippingReader reader(disk);
  std::vector<std::uint8_t> skipped(8192 * kSectorSize), whole(8192 * kSectorSize);
  for (Sector64 block = 0; block < 2'097'152; block += 8192) {
    std::fill(skipped.begin(), skipped.end(), 0xEE);
    const bool data = reader.Read(skipped, block, 8192) == BlockContent::kData;
    const bool longRun = block >= kLongRun && block < kLongRun + 3 * 8192;
    EXPECT_EQ(data, block == 0 || longRun || block == 999424 || block == 2088960) << block;
    if (!data) {
      EXPECT_EQ(skipped[0], 0xEE) << "a hole is not touched";
      continue;
    }
    ASSERT_TRUE(ReadSectors(disk, whole, block, 8192));
    EXPECT_EQ(skipped, whole) << block;
  }
  CloseDevice(disk);

  // A window counts from its own start.
  DeviceHandle window;
  ASSERT_TRUE(OpenDeviceWindow(FromUtf8(path), 2048, 1'000'000, window));
  auto inWindow = DataRuns(window, 0, 1'000'000);
  EXPECT_TRUE(Covered(inWindow, 0));
  EXPECT_TRUE(Covered(inWindow, 1));
  EXPECT_FALSE(Covered(inWindow, 1'000'000 - 2048 - 1000));
  CloseDevice(window);
}

TEST(DataExtents, WhatIsNoRegularFileIsAllData) {
  DeviceHandle zero;
  ASSERT_TRUE(OpenDevice(u"/dev/zero", zero));
  auto runs = DataRuns(zero, 100, 8192);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].first, 100u);
  EXPECT_EQ(runs[0].count, 8192u);
  CloseDevice(zero);
}

}  // namespace
}  // namespace kestrum
