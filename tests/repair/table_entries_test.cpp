// Table entries, CHS addresses and table places, byte for byte, on the
// layouts a rebuild must produce.

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "repair/selection_checks.h"
#include "repair/table_entries.h"
#include "scripted_prompts.h"

namespace kestrum::repair {
namespace {

FoundPartition Part(Sector64 start, Sector64 count, ScanCategory kind = kCategoryNtfsBoot) {
  FoundPartition p;
  p.startSector = start;
  p.sectorCount = count;
  p.endSector = start + count - 1;
  p.kind = kind;
  p.dataState = kDataValid;
  return p;
}

struct ExpectedEntry {
  Sector64 table;
  std::uint8_t type;
  std::uint32_t start;
  std::uint32_t count;
};

void ExpectEntries(const std::vector<TableEntry>& entries, const std::vector<ExpectedEntry>& expected) {
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& b = entries[i].bytes;
    EXPECT_EQ(entries[i].tableSector, expected[i].table);
    EXPECT_EQ(b[entry::kBootIndicator], 0);
    EXPECT_EQ(b[entry::kType], expected[i].type);
    EXPECT_EQ(ReadLe32(b, entry::kStartLba), expected[i].start);
    EXPECT_EQ(ReadLe32(b, entry::kSectorCount), expected[i].count);
  }
}

TEST(EncodeChs, FixedGeometryWithTenBitCylinders) {
  struct Case {
    std::uint32_t lba;
    std::uint8_t head, sector, cylinder;
  } cases[] = {
      {0, 0, 1, 0},
      {2048, 32, 33, 0},
      {1002048, 95, 34, 62},
      {16450559, 254, 63 | 0xC0, 0xFF},  // the last sector of cylinder 1023
      {16777213, 84, 62, 20},             // cylinder 1044 wraps to 20
      {16777214, 0xFE, 0xFF, 0xFF},
      {UINT32_MAX, 0xFE, 0xFF, 0xFF},
  };
  for (const Case& c : cases) {
    ChsAddress chs = EncodeChs(c.lba);
    EXPECT_EQ(chs.head, c.head) << c.lba;
    EXPECT_EQ(chs.sector, c.sector) << c.lba;
    EXPECT_EQ(chs.cylinder, c.cylinder) << c.lba;
  }
}

TEST(BuildTableEntries, OnePrimaryGetsItsChsBytes) {
  std::vector<FoundPartition> selection = {Part(2048, 1000001)};
  std::vector<TableEntry> entries = BuildTableEntries(selection);
  ExpectEntries(entries, {{0, 0x07, 2048, 1000001}});
  const std::array<std::uint8_t, 16> expected = {0, 32, 33, 0, 0x07, 95, 34, 62,
                                                 0x00, 0x08, 0, 0, 0x41, 0x42, 0x0F, 0x00};
  EXPECT_EQ(entries[0].bytes, expected);
}

TEST(BuildTableEntries, TypesByKind) {
  std::vector<FoundPartition> selection = {Part(2048, 100, kCategoryFat16Boot), Part(2148, 100, kCategoryFat32Boot),
                                           Part(2248, 100, kCategoryExfatBoot), Part(2348, 100, kCategoryMbr)};
  ExpectEntries(BuildTableEntries(selection),
                {{0, 0x06, 2048, 100}, {0, 0x0B, 2148, 100}, {0, 0x07, 2248, 100}, {0, 0x00, 2348, 100}});
}

TEST(BuildTableEntries, SecondPartitionInAnExtendedBootRecord) {
  std::vector<FoundPartition> selection = {Part(2048, 4192256), Part(4196352, 2048000)};
  test::ScriptedPrompts prompts;
  ASSERT_TRUE(PlaceTables({}, selection, prompts));
  EXPECT_EQ(selection[0].tableSector, 0u);
  EXPECT_EQ(selection[1].tableSector, 4196289u);
  std::vector<TableEntry> entries = BuildTableEntries(selection);
  ExpectEntries(entries, {{0, 0x07, 2048, 4192256},
                          {0, 0x0F, 4196289, 6244351 - 4196289 + 1},
                          {4196289, 0x07, 63, 2048000}});
  // The logical entry's start CHS is of its relative start, its end CHS of the absolute end.
  EXPECT_EQ(entries[2].bytes[entry::kStartChs], EncodeChs(63).head);
  EXPECT_EQ(entries[2].bytes[entry::kStartChs + 1], EncodeChs(63).sector);
  EXPECT_EQ(entries[2].bytes[entry::kEndChs], EncodeChs(6244351).head);
  EXPECT_EQ(entries[2].bytes[entry::kEndChs + 2], EncodeChs(6244351).cylinder);
}

TEST(BuildTableEntries, ChainOfThreeLogicals) {
  std::vector<FoundPartition> selection = {Part(2048, 97953), Part(200000, 100001), Part(400000, 100001),
                                           Part(600000, 100001)};
  test::ScriptedPrompts prompts;
  ASSERT_TRUE(PlaceTables({}, selection, prompts));
  ExpectEntries(BuildTableEntries(selection), {{0, 0x07, 2048, 97953},
                                               {0, 0x0F, 199937, 700000 - 199937 + 1},
                                               {199937, 0x07, 63, 100001},
                                               {199937, 0x05, 200000, 500000 - 399937 + 1},
                                               {399937, 0x07, 63, 100001},
                                               {399937, 0x05, 400000, 700000 - 599937 + 1},
                                               {599937, 0x07, 63, 100001}});
}

TEST(FindTableSector, FoundTablesFirstThenBeforeThePartition) {
  FoundPartition ebr;
  ebr.kind = kCategoryEbr;
  ebr.startSector = 1005;
  FoundPartition outside = ebr;
  outside.startSector = 900;
  const FoundPartitionList found = {outside, ebr};
  struct Case {
    std::uint64_t a, b;
    const FoundPartitionList* all;
    bool ok;
    Sector64 sector;
  } cases[] = {
      {1099, 1000, nullptr, true, 1099 - 62},  // 100 free sectors: 63 before the partition
      {1009, 1000, nullptr, true, 1009},       // 10 free: the sector just before it
      {1009, 1000, &found, true, 1005},        // an EBR the scan found in the gap
      {1000, 1000, nullptr, true, 1000},       // one free sector
      {999, 1000, nullptr, false, 0},          // none
      {40, 0, nullptr, true, 40},              // no wrap-around below 62
  };
  const FoundPartitionList none;
  for (const Case& c : cases) {
    Sector64 out = 0;
    EXPECT_EQ(FindTableSector(c.a, c.all ? *c.all : none, c.b, out), c.ok) << c.a;
    if (c.ok) {
      EXPECT_EQ(out, c.sector) << c.a;
    }
  }
}

TEST(PlaceTables, PackedPartitionsArePrimariesUpToFour) {
  std::vector<FoundPartition> four = {Part(2048, 1000), Part(3048, 1000), Part(4048, 1000), Part(5048, 1000)};
  test::ScriptedPrompts prompts;
  ASSERT_TRUE(PlaceTables({}, four, prompts));
  for (const FoundPartition& p : four) EXPECT_EQ(p.tableSector, 0u);
  ExpectEntries(BuildTableEntries(four),
                {{0, 7, 2048, 1000}, {0, 7, 3048, 1000}, {0, 7, 4048, 1000}, {0, 7, 5048, 1000}});

  std::vector<FoundPartition> five = four;
  five.push_back(Part(6048, 1000));
  EXPECT_FALSE(PlaceTables({}, five, prompts));
  EXPECT_EQ(prompts.shown, std::vector<std::u16string>{u"没有足够的扇区建立扩展分区！"});

  // With a gap before the fourth, it and the fifth become logicals.
  five[3] = Part(5148, 900);
  five[4] = Part(6148, 900);
  prompts.shown.clear();
  ASSERT_TRUE(PlaceTables({}, five, prompts));
  EXPECT_EQ(five[2].tableSector, 0u);
  EXPECT_EQ(five[3].tableSector, 5148u - 63);
  EXPECT_EQ(five[4].tableSector, 6148u - 63);
}

}  // namespace
}  // namespace kestrum::repair
