#include "imaging/rescue_map.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace kestrum {
namespace {

std::string BlocksText(const RescueMap& map) {
  std::string out;
  for (const MapBlock& b : map.Blocks()) {
    out += std::to_string(b.first) + "+" + std::to_string(b.count) + static_cast<char>(b.state) + " ";
  }
  return out;
}

TEST(RescueMap, SplitsAndMergesBlocksAsStatesChange) {
  RescueMap map(100);
  map.Set(10, 20, RescueState::kRescued);
  map.Set(30, 5, RescueState::kBadSector);
  map.Set(90, 50, RescueState::kNonTrimmed);  // clipped at the end
  EXPECT_EQ(BlocksText(map), "0+10? 10+20+ 30+5- 35+55? 90+10* ");
  map.Set(0, 10, RescueState::kRescued);      // merges with the rescued block after it
  map.Set(32, 1, RescueState::kRescued);      // splits the bad block
  EXPECT_EQ(BlocksText(map), "0+30+ 30+2- 32+1+ 33+2- 35+55? 90+10* ");
  map.Set(30, 5, RescueState::kRescued);      // all one block again
  EXPECT_EQ(BlocksText(map), "0+35+ 35+55? 90+10* ");
  EXPECT_EQ(map.CountOf(RescueState::kRescued), 35u);
  EXPECT_EQ(map.StateAt(89), RescueState::kNonTried);
  MapBlock b;
  ASSERT_TRUE(map.NextOf(RescueState::kNonTried, 40, b));
  EXPECT_EQ(b.first, 40u);
  EXPECT_EQ(b.count, 50u);
  ASSERT_TRUE(map.PreviousOf(RescueState::kRescued, 20, b));
  EXPECT_EQ(b.first, 0u);
  EXPECT_EQ(b.count, 20u);
  EXPECT_FALSE(map.NextOf(RescueState::kBadSector, 0, b));
}

TEST(RescueMap, ReadsBackWhatItWritesAndRefusesMapsOfNoSuchCopy) {
  RescueMap map(4096);
  map.Set(0, 1000, RescueState::kRescued);
  map.Set(1000, 3, RescueState::kBadSector);
  map.Set(1003, 200, RescueState::kNonScraped);
  map.position = 1003;
  map.phase = CopyPhase::kScraping;
  map.pass = 1;
  const std::string text = FormatMapfile(map, {"Mapfile. Created by a test"});
  EXPECT_NE(text.find("0x00000000  0x0007D000  +\n0x0007D000  0x00000600  -\n"), std::string::npos) << text;
  RescueMap back;
  std::string error;
  ASSERT_TRUE(ParseMapfile(text, 4096, back, error)) << error;
  EXPECT_EQ(BlocksText(back), BlocksText(map));
  EXPECT_EQ(back.position, 1003u);
  EXPECT_EQ(back.phase, CopyPhase::kScraping);

  const std::string status = "0x0 + 1\n";
  const struct {
    std::string text;
    const char* reason;
  } broken[] = {
      {"# only comments\n", "no status line"},
      {"0x0 ? 1\n0x0 0x100000 +\n", "the blocks end"},  // covers half
      {status + "0x0 0x100000 +\n0x200 0x100000 +\n", "overlap"},
      {status + "0x0 0x100000 +\n0x100400 0x0FFC00 +\n", "a gap"},
      {status + "0x0 0x100100 +\n0x100100 0x0FFF00 +\n", "whole 512-byte sectors"},
      {status + "0x0 0x400000 +\n", "past the end"},
      {status + "0x0 0x200000 x\n", "not a block line"},
      {"0x0 F 1\n0x0 0x200000 +\n", "not a status line"},
  };
  for (const auto& b : broken) {
    std::string reason;
    EXPECT_FALSE(ParseMapfile(b.text, 4096, back, reason)) << b.text;
    EXPECT_NE(reason.find(b.reason), std::string::npos) << b.text << " -> " << reason;
  }
}

TEST(RescueMap, ReplacesTheFileWhole) {
  test::TempDir dir;
  const std::string path = dir.File("copy.map");
  int error = 0;
  ASSERT_TRUE(ReplaceFileAtomically(path, "first\n", error));
  ASSERT_TRUE(ReplaceFileAtomically(path, "second\n", error));
  EXPECT_EQ(test::ReadWholeFile(path), "second\n");
  EXPECT_FALSE(ReplaceFileAtomically(dir.File("missing/copy.map"), "x", error));
  EXPECT_NE(error, 0);
}

}  // namespace
}  // namespace kestrum
