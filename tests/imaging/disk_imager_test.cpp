#include "imaging/disk_imager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <thread>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using Ranges = std::vector<std::pair<Sector64, Sector64>>;  // first, count

constexpr Sector64 kSectors = 8192;  // 4 MiB

// A source of random sectors with a run of zeros (which the image leaves
// as a hole), and its bad ranges injected.
class ImagingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
    std::mt19937 random(27);
    source_.resize(kSectors * kSectorSize);
    for (auto& b : source_) b = static_cast<char>(random());
    std::fill(source_.begin() + 2048 * kSectorSize, source_.begin() + 3072 * kSectorSize, '\0');
    sourcePath_ = dir_.File("source.img");
    test::WriteWholeFile(sourcePath_, source_);
    job_.source = FromUtf8(sourcePath_);
    job_.target = dir_.File("copy.img");
  }
  void TearDown() override {
    testing::ClearReadFaults();
    testing::RecordReads(false);
  }

  void Inject(const Ranges& bad) {
    for (auto [first, count] : bad) testing::InjectReadFault(sourcePath_, first, count);
  }

  // The source as the image must hold it: bad sectors zero.
  std::string Expected(const Ranges& bad) const {
    std::string expected = source_;
    for (auto [first, count] : bad) {
      std::fill(expected.begin() + first * kSectorSize, expected.begin() + (first + count) * kSectorSize, '\0');
    }
    return expected;
  }

  static Ranges BadBlocks(const RescueMap& map) {
    Ranges out;
    for (const MapBlock& b : map.Blocks()) {
      if (b.state == RescueState::kBadSector) out.emplace_back(b.first, b.count);
    }
    return out;
  }

  test::TempDir dir_;
  std::string source_;
  std::string sourcePath_;
  ImagingJob job_;
};

// Every readable sector rescued, exactly the bad ranges in the map, zeros
// there in the image and holes where the source is zero; each bad sector
// read about once, as a long run is skipped in the first pass and tried
// from its ends after.
TEST_F(ImagingTest, RescuesEveryReadableSectorAndMapsExactlyTheBadOnes) {
  const struct {
    const char* name;
    Ranges bad;
  } cases[] = {
      {"none", {}},
      {"one sector", {{700, 1}}},
      {"across a read's end", {{250, 10}}},
      {"a long run and a short one", {{1000, 2000}, {5000, 3}}},
      {"the last sectors", {{kSectors - 5, 5}}},
      {"inside the zeros", {{2500, 40}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::PrepareRun();
    testing::ClearReadFaults();
    ::unlink(job_.target.c_str());
    ::unlink((job_.target + ".map").c_str());
    Inject(c.bad);
    const std::uint64_t faultedBefore = testing::FaultedReads();
    DiskImager imager;
    std::u16string problem;
    ASSERT_TRUE(imager.Open(job_, problem)) << ToUtf8(problem);
    imager.Run();
    EXPECT_TRUE(imager.Complete());
    EXPECT_TRUE(imager.Problem().empty()) << ToUtf8(imager.Problem());
    EXPECT_EQ(BadBlocks(imager.Map()), c.bad);
    Sector64 badSectors = 0;
    for (auto [first, count] : c.bad) badSectors += count;
    EXPECT_LE(testing::FaultedReads() - faultedBefore, badSectors + 12 * c.bad.size());
    EXPECT_TRUE(test::ReadWholeFile(job_.target) == Expected(c.bad)) << "the image differs from the source";
    struct stat st {};
    ASSERT_EQ(::stat(job_.target.c_str(), &st), 0);
    EXPECT_LE(static_cast<std::uint64_t>(st.st_blocks) * 512, (kSectors - 900) * kSectorSize) << "zeros left as holes";
    RescueMap saved;
    std::string error;
    ASSERT_TRUE(ParseMapfile(test::ReadWholeFile(job_.target + ".map"), kSectors, saved, error)) << error;
    EXPECT_EQ(BadBlocks(saved), c.bad);
    EXPECT_EQ(saved.phase, CopyPhase::kFinished);
  }
  EXPECT_EQ(test::ReadWholeFile(sourcePath_), source_) << "the source is only read";
}

// Stopped halfway (at a read held at the gate) and run again, the copy goes
// on from its map: no read touches a sector the first run rescued, and the
// image comes out as one run would have made it.
TEST_F(ImagingTest, AStoppedCopyResumesWithoutReadingRescuedSectorsAgain) {
  const Ranges bad = {{3000, 600}, {6000, 1}};
  Inject(bad);
  job_.retries = 2;
  {
    DiskImager imager;
    std::u16string problem;
    ASSERT_TRUE(imager.Open(job_, problem)) << ToUtf8(problem);
    testing::CloseReadGate(sourcePath_, 4500, 1);
    std::thread worker([&imager] { imager.Run(); });
    while (testing::ReadsHeldAtGate() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    RequestFinish();  // "暂停"
    testing::OpenReadGate();
    worker.join();
    EXPECT_FALSE(imager.Complete());
  }
  RescueMap first;
  std::string error;
  ASSERT_TRUE(ParseMapfile(test::ReadWholeFile(job_.target + ".map"), kSectors, first, error)) << error;
  ASSERT_GT(first.CountOf(RescueState::kRescued), 3000u);
  ASSERT_GT(first.CountOf(RescueState::kNonTried), 0u);

  test::PrepareRun();
  testing::RecordReads(true);
  DiskImager again;
  std::u16string problem;
  ASSERT_TRUE(again.Open(job_, problem)) << ToUtf8(problem);
  EXPECT_TRUE(again.Resumed());
  again.Run();
  const auto reads = testing::TakeRecordedReads();
  ASSERT_FALSE(reads.empty());
  for (auto [offset, bytes] : reads) {
    for (Sector64 s = offset / kSectorSize; s < (offset + bytes) / kSectorSize; ++s) {
      ASSERT_NE(first.StateAt(s), RescueState::kRescued) << "sector " << s << " read again";
    }
  }
  EXPECT_TRUE(again.Complete());
  EXPECT_EQ(BadBlocks(again.Map()), bad);
  EXPECT_TRUE(test::ReadWholeFile(job_.target) == Expected(bad));
}

TEST_F(ImagingTest, RefusesTargetsThatWouldLoseData) {
  std::u16string problem;
  {
    DiskImager imager;
    test::WriteWholeFile(job_.target, "someone's file");
    EXPECT_FALSE(imager.Open(job_, problem)) << "an existing file without its map is not overwritten";
    EXPECT_NE(ToUtf8(problem).find("镜像文件已存在"), std::string::npos) << ToUtf8(problem);
    EXPECT_EQ(test::ReadWholeFile(job_.target), "someone's file");
  }
  {
    DiskImager imager;
    ImagingJob self = job_;
    self.target = sourcePath_;
    self.mapPath = dir_.File("self.map");
    EXPECT_FALSE(imager.Open(self, problem));
    EXPECT_NE(ToUtf8(problem).find("设备本身"), std::string::npos) << ToUtf8(problem);
  }
  {
    DiskImager imager;
    ::unlink(job_.target.c_str());
    test::WriteWholeFile(job_.target + ".map", "0x0 + 1\n0x0 0x200 +\n");  // another source's
    EXPECT_FALSE(imager.Open(job_, problem));
    EXPECT_NE(ToUtf8(problem).find("映射文件无法使用"), std::string::npos) << ToUtf8(problem);
  }
  EXPECT_EQ(test::ReadWholeFile(sourcePath_), source_);
}

}  // namespace
}  // namespace kestrum
