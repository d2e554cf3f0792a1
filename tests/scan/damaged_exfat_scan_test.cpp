// The classifier over the damaged exFAT volumes of others: every one is
// scanned without a crash or a read outside its buffers, and still shows its
// boot region. The 2 TB one is scanned at its start and at the end of the
// 32-bit sector range.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "scan_support.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(DamagedExfatScan, EveryVolumeIsScannedAndShowsItsBootRegion) {
  test::TempDir dir;
  std::vector<std::string> images = test::UnpackTestData("exfat-damaged", dir.path());
  ASSERT_GE(images.size(), 12u);
  for (const std::string& image : images) {
    SCOPED_TRACE(image);
    const std::uint64_t sectors = fs::file_size(image) / 512;
    // The sparse 2 TB volume holds its structures in the first megabytes.
    const std::uint64_t scanned = std::min<std::uint64_t>(sectors, 262144);
    auto findings = test::ScanFile(image, 0, scanned);
    std::map<std::uint32_t, ScanCategory> at;
    for (const ScanFinding& f : findings) {
      EXPECT_LT(f.sector, scanned);
      if (!IsFileCategory(f.category)) at[f.sector] = f.category;
      if (f.category == kCategoryExfatDir || f.category == kCategoryExfatRootDir) {
        EXPECT_EQ(f.wordA | f.wordB, 0u);
      }
    }
    EXPECT_EQ(at[0], kCategoryExfatBoot);
    EXPECT_EQ(at[12], kCategoryExfatBoot) << "the backup boot region";
    if (sectors > (std::uint64_t{1} << 32)) {
      // The last block below 2^32 sectors: its end does not fit 32 bits.
      const std::uint64_t first = (std::uint64_t{1} << 32) - 8192;
      auto tail = test::ScanFile(image, first, 8192);
      for (const ScanFinding& f : tail) EXPECT_GE(f.sector, first);
    }
  }
}

}  // namespace
}  // namespace kestrum
