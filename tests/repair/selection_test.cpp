// Candidate rows from found boot sectors, and the questions before a rebuild.

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "repair/candidates.h"
#include "repair/selection_checks.h"
#include "scripted_prompts.h"

namespace kestrum::repair {
namespace {

FoundPartition Part(std::uint32_t index, Sector64 start, Sector64 count, std::uint8_t state = kDataValid) {
  FoundPartition p;
  p.index = index;
  p.startSector = start;
  p.sectorCount = count;
  p.endSector = start + count - 1;
  p.kind = kCategoryNtfsBoot;
  p.dataState = state;
  return p;
}

FoundPartition Boot(ScanCategory kind, Sector64 start) {
  FoundPartition p;
  p.kind = kind;
  p.startSector = start;
  return p;
}

TEST(Candidates, SizesFromEachBootSectorAndTheRowTexts) {
  DeviceHandle none;  // no disk: nothing validates
  FoundPartition ntfs = Boot(kCategoryNtfsBoot, 2048);
  WriteLe64(ntfs.bootSector, 0x28, 1000000);
  FoundPartition fat16 = Boot(kCategoryFat16Boot, 2000000);
  WriteLe16(fat16.bootSector, 0x13, 40960);  // a small volume: the 32-bit total is 0
  FoundPartition fat32 = Boot(kCategoryFat32Boot, 4194304);
  WriteLe32(fat32.bootSector, 0x20, 2097152);
  FoundPartition exfat = Boot(kCategoryExfatBoot, 8388608);
  WriteLe64(exfat.bootSector, 0x48, 4194304);
  FoundPartition empty = Boot(kCategoryFat16Boot, 100);  // no size at all
  FoundPartition huge = Boot(kCategoryNtfsBoot, 4000000000u);
  WriteLe64(huge.bootSector, 0x28, 500000000);  // ends past 2^32
  FoundPartition endless = Boot(kCategoryNtfsBoot, 5000000000u);
  WriteLe64(endless.bootSector, 0x28, UINT64_MAX - 1);  // no sector number reaches its end
  FoundPartition table = Boot(kCategoryEbr, 3000);

  FoundPartitionList all;
  for (FoundPartition r : {table, ntfs, fat16, fat32, exfat, empty, huge, endless}) {
    if (CompleteFoundPartition(r, none)) all.push_back(r);
  }
  ASSERT_EQ(all.size(), 6u);  // the table is kept, the unsized ones are not
  std::vector<FoundPartition> rows = MakeCandidates(all);
  ASSERT_EQ(rows.size(), 5u);
  const CandidateRow expected[] = {
      {u"00", u"NTFS", u"2048", u"1002048", u"1000001", u"错误", u"0.00", u"0.48"},
      {u"01", u"FAT16", u"2000000", u"2040959", u"40960", u"错误", u"0.95", u"0.02"},
      {u"02", u"FAT32", u"4194304", u"6291455", u"2097152", u"错误", u"2.00", u"1.00"},
      {u"03", u"EXFAT", u"8388608", u"12582911", u"4194304", u"错误", u"4.00", u"2.00"},
      {u"04", u"NTFS", u"4000000000", u"4500000000", u"500000001", u"错误", u"1907.35", u"238.42"},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].index, i);
    EXPECT_EQ(FormatCandidateRow(rows[i]), expected[i]) << i;
  }
  FoundPartition backup = rows[0];
  backup.dataState = kDataBackup;
  EXPECT_TRUE(MakeCandidates({backup, table}).empty());
}

struct ConfirmCase {
  const char* name;
  std::vector<FoundPartition> selection;
  std::deque<bool> answers;
  bool result;
  std::vector<std::u16string> asked;
  std::vector<std::u16string> shown;
};

TEST(ConfirmSelection, AsksTheQuestionsInOrder) {
  const std::u16string overlap = u"您选择的00分区和01分区重叠，是否修改分区容量？";
  const ConfirmCase cases[] = {
      {"no free sector between them", {Part(0, 2048, 1000), Part(1, 3048, 1000)}, {}, true, {}, {}},
      {"1,026,047 free sectors ask nothing",
       {Part(0, 2048, 1000), Part(1, 3047 + 1026047, 1000)}, {}, true, {}, {}},
      {"1,026,048 ask and show 0.49",
       {Part(0, 2048, 1000), Part(1, 3047 + 1026048, 1000)}, {false}, false,
       {u"您选择的00分区和01分区之间有0.49GB空闲空间，确定执行分区重建操作吗？"}, {}},
      {"damaged data of each, the last one included",
       {Part(0, 2048, 1000, kDataDamaged), Part(1, 3048, 1000, kDataDamaged)}, {}, true,
       {u"您选择的00分区的数据已经损坏，确定执行分区重建操作吗？",
        u"您选择的01分区的数据已经损坏，确定执行分区重建操作吗？"}, {}},
      {"declined overlap asks nothing more",
       {Part(0, 2048, 100000, kDataDamaged), Part(1, 50000, 1000)}, {false}, false, {overlap}, {}},
      {"accepted overlap, then no free-space question",
       {Part(0, 2048, 100000), Part(1, 50000, 1000)}, {true}, true, {overlap}, {}},
      {"an overlap that would leave nothing is refused",
       {Part(0, 2048, 100000), Part(1, 2048 + 20480, 1000)}, {}, false, {},
       {u"您选择的00分区和01分区重叠，00分区缩小后没有剩余空间，无法重建分区表！"}},
      {"a partition at sector 0 is refused", {Part(0, 0, 1000)}, {}, false, {},
       {u"您选择的00分区从0扇区开始，不能在它前面建立分区表！"}},
  };
  for (const ConfirmCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<FoundPartition> selection = c.selection;
    test::ScriptedPrompts prompts(c.answers);
    EXPECT_EQ(ConfirmSelection(selection, prompts), c.result);
    EXPECT_EQ(prompts.asked, c.asked);
    EXPECT_EQ(prompts.shown, c.shown);
  }
}

TEST(ConfirmSelection, OverlapShortensTheFirstTenMibBeforeTheNext) {
  std::vector<FoundPartition> selection = {Part(0, 2048, 100000), Part(1, 50000, 1000)};
  test::ScriptedPrompts prompts;
  ASSERT_TRUE(ConfirmSelection(selection, prompts));
  EXPECT_EQ(selection[0].sectorCount, 50000u - 20480 - 2048);
  EXPECT_EQ(selection[0].endSector, 50000u - 20481);
  EXPECT_EQ(selection[1].startSector - selection[0].endSector, 20481u);
}

}  // namespace
}  // namespace kestrum::repair
