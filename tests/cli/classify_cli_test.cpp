// kestrum-cli classify, run as a user runs it: a whole disk image, one of its
// partitions, a range of sectors, the text and JSON forms, and refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <fstream>

#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/run_command.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::FlatObject;
using test::RunCli;

std::vector<FlatObject> Classify(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"classify", "--json"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = RunCli(argv);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return test::ParseJsonLines(r.out);
}

std::uint64_t Number(const FlatObject& o, const char* key) {
  auto it = o.find(key);
  return it == o.end() || !it->second ? ~0ull : std::stoull(*it->second);
}

TEST(ClassifyCli, AWholeDiskImageInSectorOrderWithTablesBootSectorsAndRecords) {
  auto lines = Classify({test::FixturePath("disk.img")});
  ASSERT_GT(lines.size(), 1600u);
  std::map<std::uint64_t, int> perCategory;
  std::uint64_t previous = 0;
  for (const FlatObject& o : lines) {
    std::uint64_t sector = Number(o, "sector");
    EXPECT_GE(sector, previous) << "sector order";
    previous = sector;
    ++perCategory[Number(o, "category")];
  }
  EXPECT_EQ(Number(lines[0], "sector"), 0u);
  EXPECT_EQ(*lines[0]["name"], "MBR");
  EXPECT_EQ(perCategory[101], 2) << "two EBRs";
  EXPECT_EQ(perCategory[102], 2) << "NTFS boot sector and backup";
  EXPECT_EQ(perCategory[105], 1);
  EXPECT_EQ(perCategory[107], 2) << "FAT32 boot sector and its copy at 6";
  EXPECT_EQ(perCategory[112], 2) << "exFAT boot region and its backup";
  EXPECT_GT(perCategory[103], 1200);

  auto p1 = test::LoadInfo("disk.p1.info");
  const std::uint64_t mft = std::stoull(p1.at("start")) + 32;  // cluster 4 of 8 sectors
  bool sawMft = false;
  for (FlatObject& o : lines) {
    if (Number(o, "sector") != mft) continue;
    sawMft = true;
    EXPECT_EQ(*o["name"], "FILE RECORD");
    EXPECT_EQ(*o["fileName"], "$MFT");
    EXPECT_EQ(Number(o, "wordA"), 5u) << "in the root";
    EXPECT_EQ(Number(o, "wordB"), 0u) << "record 0";
    EXPECT_EQ(Number(o, "flags"), 1u);
    EXPECT_GT(Number(o, "size"), 0u);
    EXPECT_GE(Number(o, "allocatedSize"), Number(o, "size"));
  }
  EXPECT_TRUE(sawMft);
  for (FlatObject& o : lines) {
    if (Number(o, "category") != 103) {
      EXPECT_EQ(o.count("fileName"), 0u) << "only records carry names";
    }
  }
}

TEST(ClassifyCli, APartitionGivesTheDiskLinesOfItsSectors) {
  std::string disk = test::FixturePath("disk.img");
  auto whole = Classify({disk});
  auto p2 = test::LoadInfo("disk.p2.info");
  const std::uint64_t start = std::stoull(p2.at("start"));
  const std::uint64_t end = start + std::stoull(p2.at("sectors"));
  std::vector<std::string> expected;
  for (FlatObject& o : whole) {
    std::uint64_t s = Number(o, "sector");
    if (s >= start && s < end && Number(o, "category") >= 100) expected.push_back(*o["sector"] + ":" + *o["category"]);
  }
  std::vector<std::string> got;
  for (FlatObject& o : Classify({disk, "--partition", "2"})) {
    EXPECT_GE(Number(o, "sector"), start) << "sector numbers stay those of the disk";
    if (Number(o, "category") >= 100) got.push_back(*o["sector"] + ":" + *o["category"]);
  }
  EXPECT_EQ(got, expected);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0], std::to_string(start) + ":107");
}

TEST(ClassifyCli, FromAndCountNarrowTheRangeAndTextNamesTheFields) {
  std::string disk = test::FixturePath("disk.img");
  auto lines = Classify({disk, "--from", "2048", "--count", "16"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(*lines[0]["name"], "NTFS DBR");
  EXPECT_EQ(Number(lines[0], "sector"), 2048u);

  auto text = RunCli({"classify", disk, "--count", "1"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out, "100\tMBR\t0\twordA=0\twordB=0\n");

  auto outside = RunCli({"classify", disk, "--partition", "1", "--from", "5"});
  EXPECT_EQ(outside.exitCode, 2) << "sector 5 lies before partition 1";
  EXPECT_NE(outside.err.find("超出 2048-"), std::string::npos) << outside.err;
  auto english = RunCli({"classify", disk, "--partition", "1", "--from", "5", "--lang", "en"});
  EXPECT_EQ(english.exitCode, 2);
  EXPECT_NE(english.err.find("lies outside sectors 2048-"), std::string::npos) << english.err;
  EXPECT_EQ(RunCli({"classify", disk, "--from", "x"}).exitCode, 2);
  EXPECT_EQ(RunCli({"classify"}).exitCode, 2);
  EXPECT_EQ(RunCli({"classify", "/nonexistent.img"}).exitCode, 1);
}

// Blocks are read several at a time and the first and last are cut by the
// range: a range that begins inside a block, crosses two block boundaries
// and ends amid the findings of its last block holds exactly what the
// whole disk holds there, in order.
TEST(ClassifyCli, ARangeAcrossBlocksHoldsWhatTheWholeDiskHoldsThere) {
  const std::string disk = test::FixturePath("disk.img");
  std::vector<std::pair<std::uint64_t, std::string>> whole;
  for (FlatObject& o : Classify({disk})) whole.emplace_back(Number(o, "sector"), *o["name"]);
  // The block past the first two with the most findings; the range ends
  // at the middle one of them.
  constexpr std::uint64_t kBlock = 8192;
  std::map<std::uint64_t, std::vector<std::uint64_t>> byBlock;
  for (const auto& f : whole) {
    if (f.first >= 2 * kBlock) byBlock[f.first / kBlock].push_back(f.first);
  }
  ASSERT_FALSE(byBlock.empty());
  const auto densest = std::max_element(byBlock.begin(), byBlock.end(),
                                        [](const auto& a, const auto& b) { return a.second.size() < b.second.size(); });
  const std::uint64_t end = densest->second[densest->second.size() / 2];
  ASSERT_NE(end % kBlock, 0u);
  const std::uint64_t from = (densest->first - 2) * kBlock + 37;
  std::vector<std::pair<std::uint64_t, std::string>> expected;
  std::copy_if(whole.begin(), whole.end(), std::back_inserter(expected),
               [&](const auto& f) { return f.first >= from && f.first < end; });
  ASSERT_GT(expected.size(), 50u);
  std::vector<std::pair<std::uint64_t, std::string>> got;
  for (FlatObject& o : Classify({disk, "--from", std::to_string(from), "--count", std::to_string(end - from)})) {
    got.emplace_back(Number(o, "sector"), *o["name"]);
  }
  EXPECT_EQ(got, expected);
}

TEST(ClassifyCli, FilesFoundBySignatureGetLengthsUpToTheNextFinding) {
  test::TempDir dir;
  test::SectorImage image(300);
  image.PutText(100, 0, "\x89PNG\r\n\x1A\n");
  image.PutText(150, 0, "%PDF-1.4\n");
  image.WriteTo(dir.File("files.img"));
  auto lines = Classify({dir.File("files.img")});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(*lines[0]["name"], "png");
  EXPECT_EQ(Number(lines[0], "wordA"), 50u * 512);
  EXPECT_EQ(Number(lines[1], "category"), 5u);
  EXPECT_EQ(Number(lines[1], "wordA"), 150u * 512) << "the last runs to the end of the image";
  EXPECT_EQ(Number(lines[1], "wordB"), 0u);
  auto narrowed = Classify({dir.File("files.img"), "--from", "100", "--count", "60"});
  ASSERT_EQ(narrowed.size(), 2u);
  EXPECT_EQ(Number(narrowed[1], "wordA"), 10u * 512) << "the end of the range classified";
}

TEST(ClassifyCli, SectorsPast2TiBAreClassifiedWhereTheyLie) {
  test::TempDir dir;
  std::string big = dir.File("huge.img");
  { std::ofstream create(big); }
  const std::uint64_t png = (std::uint64_t{1} << 32) + 100;
  std::filesystem::resize_file(big, (png + 8192) * 512);  // sparse
  {
    std::fstream out(big, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(png * 512));
    out.write("\x89PNG\r\n\x1A\n", 8);
  }
  auto lines = Classify({big, "--from", std::to_string(png - 4), "--count", "16"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Number(lines[0], "sector"), png);
  EXPECT_EQ(*lines[0]["name"], "png");
}

}  // namespace
}  // namespace kestrum
