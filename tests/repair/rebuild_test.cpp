// A whole rebuild and its undo on a small image: what reaches the disk, what
// the history keeps, and what happens when a table sector will not read or
// write, or the history cannot be saved.

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "disk/gpt.h"
#include "disk/partition_table.h"
#include "repair/rebuild.h"
#include "repair/table_writer.h"
#include "repair/undo.h"
#include "scripted_prompts.h"
#include "support/loop_device.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum::repair {
namespace {

constexpr Sector64 kDiskSectors = 40000;
constexpr Sector64 kEbr = 20000 - 63;

FoundPartition Part(std::uint32_t index, Sector64 start, Sector64 count) {
  FoundPartition p;
  p.index = index;
  p.startSector = start;
  p.sectorCount = count;
  p.endSector = start + count - 1;
  p.kind = kCategoryNtfsBoot;
  p.dataState = kDataValid;
  return p;
}

class RebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SectorImage image(kDiskSectors);
    for (std::size_t i = 0; i < 446; ++i) image.Put8(0, i, 0xAB);  // boot code and disk signature
    image.Put32(0, 446 + 8, 12345);                                // a stale entry, to be replaced
    for (std::size_t i = 0; i < 512; ++i) image.Put8(kEbr, i, 0xCD);
    image.WriteTo(Image());
    original_ = test::ReadWholeFile(Image());
    request_.device.diskPath = FromUtf8(Image());
    request_.device.diskDescription = u"rebuild.img";
    request_.device.sectorCount = request_.device.diskSectors = kDiskSectors;
    request_.selection = {Part(0, 2048, 10000), Part(1, 20000, 10000)};
    request_.historyPath = dir_.File("state/FixPartTable.dat");
  }
  void TearDown() override { testing::ClearReadFaults(); }

  std::string Image() const { return dir_.File("rebuild.img"); }
  std::string SectorOf(const std::string& bytes, Sector64 sector) const {
    return bytes.substr(std::size_t{sector} * kSectorSize, kSectorSize);
  }
  DeviceHistory History() {
    DeviceHistory h;
    test::ScriptedPrompts quiet;
    FindDeviceHistory(request_.historyPath, u"rebuild.img", h, quiet);
    return h;
  }

  test::TempDir dir_;
  std::string original_;
  RebuildRequest request_;
};

TEST_F(RebuildTest, WritesOnlyTheTablesAndUndoGivesEveryByteBack) {
  test::ScriptedPrompts prompts;
  RebuildReport report;
  ASSERT_EQ(RebuildPartitionTable(request_, prompts, report), RebuildOutcome::kWritten);
  EXPECT_TRUE(report.historySaved);
  EXPECT_EQ(report.write.written, (std::vector<Sector64>{0, kEbr}));
  // An image file: no kernel table to read again, so the restart message, once.
  EXPECT_EQ(prompts.shown, std::vector<std::u16string>{u"重建分区表完成，请重启电脑查看分区是否已经找回。"});

  std::string after = test::ReadWholeFile(Image());
  ASSERT_EQ(after.size(), original_.size());
  for (Sector64 s = 0; s < kDiskSectors; ++s) {
    if (s != 0 && s != kEbr && SectorOf(after, s) != SectorOf(original_, s)) FAIL() << "sector " << s;
  }
  EXPECT_EQ(after.substr(0, 446), original_.substr(0, 446));
  EXPECT_EQ(SectorOf(after, kEbr).substr(0, 446), std::string(446, '\xCD'));

  DeviceHandle disk;
  ASSERT_TRUE(OpenDevice(request_.device.diskPath, disk));
  std::vector<PartitionEntry> parts;
  ASSERT_TRUE(ReadPartitionTable(disk, parts));
  CloseDevice(disk);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].startSector, 2048u);
  EXPECT_EQ(parts[0].sectorCount, 10000u);
  EXPECT_EQ(parts[1].number, 5);
  EXPECT_EQ(parts[1].startSector, 20000u);
  EXPECT_EQ(parts[1].sectorCount, 10000u);

  DeviceHistory history = History();
  ASSERT_EQ(history.records.size(), 1u);
  ASSERT_EQ(history.records[0].sectors.size(), 2u);
  EXPECT_EQ(history.records[0].sectors[1].sector, kEbr);

  UndoReport undo;
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_TRUE(undo.failed.empty());
  ASSERT_TRUE(SaveUndoneHistory(request_.historyPath, history));
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
  test::ScriptedPrompts again;
  DeviceHistory none;
  EXPECT_FALSE(FindDeviceHistory(request_.historyPath, u"rebuild.img", none, again));
  EXPECT_EQ(again.shown, std::vector<std::u16string>{kNoHistoryFound});

  // The undo kept the rebuilt tables it overwrote, and they can be put back.
  const std::string kept = UndoBackupPath(request_.historyPath);
  DeviceHistory undone;
  ASSERT_TRUE(FindDeviceHistory(kept, u"rebuild.img", undone, again));
  ASSERT_EQ(undone.records.size(), 1u);
  ASSERT_EQ(undone.records[0].sectors.size(), 2u);
  for (const SavedSector& saved : undone.records[0].sectors) {
    EXPECT_EQ(std::string(saved.data.begin(), saved.data.end()), SectorOf(after, saved.sector)) << saved.sector;
  }
  ASSERT_TRUE(UndoRebuild(request_.device, undone, 0, kept, prompts, undo));
  EXPECT_EQ(test::ReadWholeFile(Image()), after);
}

TEST_F(RebuildTest, AWriteFaultOnTheSecondTableLeavesTheFirstUndoable) {
  testing::InjectWriteFault(Image(), kEbr, 1);
  test::ScriptedPrompts prompts;
  RebuildReport report;
  EXPECT_EQ(RebuildPartitionTable(request_, prompts, report), RebuildOutcome::kWriteFailed);
  EXPECT_EQ(report.write.written, std::vector<Sector64>{0});
  EXPECT_EQ(report.write.failed, std::vector<Sector64>{kEbr});
  // Not reported as done: the failure, then where the old tables are.
  EXPECT_EQ(prompts.shown, (std::vector<std::u16string>{
                               u"Disk write failed!",
                               u"重建分区表没有完成，有扇区没有写入磁盘。原来的分区表保存在修复历史中，可以用“撤销重建操作”恢复。"}));
  EXPECT_NE(SectorOf(test::ReadWholeFile(Image()), 0), SectorOf(original_, 0));
  testing::ClearReadFaults();

  DeviceHistory history = History();
  ASSERT_EQ(history.records.size(), 1u);
  EXPECT_EQ(history.records[0].sectors.size(), 2u);
  UndoReport undo;
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
}

TEST_F(RebuildTest, OnADiskTheKernelReadsAgainTheMessageSaysThePartitionsAreThereNow) {
  if (geteuid() != 0) GTEST_SKIP() << "loop devices need root";
  test::LoopDevice loop(Image(), {.readOnly = false, .partitions = true});
  ASSERT_FALSE(loop.device().empty()) << loop.error();
  request_.device.diskPath = FromUtf8(loop.device());
  test::ScriptedPrompts prompts;
  RebuildReport report;
  ASSERT_EQ(RebuildPartitionTable(request_, prompts, report), RebuildOutcome::kWritten);
  EXPECT_EQ(report.reread, RereadResult::kDone);
  EXPECT_EQ(prompts.shown,
            std::vector<std::u16string>{u"重建分区表完成，系统已重新读取分区表，找回的分区无需重启即可使用。"});
}

TEST_F(RebuildTest, AnUndoWhoseWriteFailsKeepsItsRecordAndTheOlderOnes) {
  // Two rebuilds: the second one's record holds the first one's tables.
  test::ScriptedPrompts prompts;
  RebuildReport report;
  ASSERT_EQ(RebuildPartitionTable(request_, prompts, report), RebuildOutcome::kWritten);
  const std::string afterFirst = test::ReadWholeFile(Image());
  request_.selection = {Part(0, 2048, 10000)};
  ASSERT_EQ(RebuildPartitionTable(request_, prompts, report), RebuildOutcome::kWritten);
  const std::string afterSecond = test::ReadWholeFile(Image());
  ASSERT_EQ(History().records.size(), 2u);

  // Sector 0 will not take a write: the newest record fails, the older one
  // is not written over a disk it does not belong to, and both stay.
  testing::InjectWriteFault(Image(), 0, 1);
  DeviceHistory history = History();
  prompts.shown.clear();
  UndoReport undo;
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(undo.failed, std::vector<Sector64>{0});
  EXPECT_EQ(undo.keptRecords, 2u);
  EXPECT_EQ(prompts.shown, std::vector<std::u16string>{u"写磁盘出错！"});
  ASSERT_EQ(history.records.size(), 2u);
  ASSERT_TRUE(SaveUndoneHistory(request_.historyPath, history));
  EXPECT_EQ(History().records.size(), 2u);
  EXPECT_EQ(SectorOf(test::ReadWholeFile(Image()), 0), SectorOf(afterSecond, 0));

  // A fault on the older record's EBR alone: the newest is undone and leaves,
  // the older one stays for the next try.
  testing::ClearReadFaults();
  testing::InjectWriteFault(Image(), kEbr, 1);
  history = History();
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(undo.failed, std::vector<Sector64>{kEbr});
  EXPECT_EQ(undo.keptRecords, 1u);
  ASSERT_EQ(history.records.size(), 1u);
  ASSERT_TRUE(SaveUndoneHistory(request_.historyPath, history));
  ASSERT_EQ(History().records.size(), 1u);

  // Once the disk takes writes again, the kept record gives every byte back.
  testing::ClearReadFaults();
  history = History();
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_TRUE(undo.failed.empty());
  EXPECT_TRUE(history.records.empty());
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
  EXPECT_NE(afterFirst, original_);
}

TEST_F(RebuildTest, ATableThatChangedSinceItWasKeptIsNotOverwritten) {
  // The tables a rebuild would write, from a dry run.
  request_.dryRun = true;
  test::ScriptedPrompts dry;
  RebuildReport planned;
  ASSERT_EQ(RebuildPartitionTable(request_, dry, planned), RebuildOutcome::kDryRun);
  const std::vector<TableEntry>& entries = planned.entries;
  RebuildRecord kept;
  for (Sector64 sector : TableSectors(entries)) {
    SavedSector saved;
    saved.sector = sector;
    std::string bytes = SectorOf(original_, sector);
    std::copy(bytes.begin(), bytes.end(), saved.data.begin());
    kept.sectors.push_back(saved);
  }
  ASSERT_EQ(kept.sectors.size(), 2u);
  struct Case {
    const char* name;
    std::function<void(RebuildRecord&)> damage;
    Sector64 named;
  } cases[] = {
      {"the EBR changed after it was kept", [](RebuildRecord& r) { r.sectors[1].data[7] ^= 1; }, kEbr},
      {"the MBR was never kept", [](RebuildRecord& r) { r.sectors.erase(r.sectors.begin()); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RebuildRecord before = kept;
    c.damage(before);
    test::ScriptedPrompts prompts;
    WriteReport report;
    EXPECT_FALSE(WriteTables(request_.device, entries, before, prompts, report));
    EXPECT_TRUE(report.written.empty());
    EXPECT_EQ(prompts.shown, std::vector<std::u16string>{u"扇区" + DecimalText(c.named) +
                                                         u"的内容与历史记录中保存的不同，分区表没有任何改动。"});
    EXPECT_EQ(test::ReadWholeFile(Image()), original_);
  }
  test::ScriptedPrompts prompts;
  WriteReport report;
  EXPECT_TRUE(WriteTables(request_.device, entries, kept, prompts, report));
  EXPECT_EQ(report.written, (std::vector<Sector64>{0, kEbr}));
}

TEST_F(RebuildTest, AHistoryNamingSectorsPastTheDisksEndIsNotUndone) {
  DeviceHistory history;
  history.description = u"rebuild.img";
  RebuildRecord record;
  record.time = u"2026-12-09 01:00:00";
  record.sectors.resize(2);
  record.sectors[1].sector = kDiskSectors;  // just past the end: the image would grow
  history.records = {record};
  test::ScriptedPrompts prompts;
  UndoReport undo;
  EXPECT_FALSE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(prompts.shown, std::vector<std::u16string>{FormatText(
                               "修复历史中的扇区%u超出了磁盘的范围（共%u个扇区），没有写入任何扇区。",
                               static_cast<unsigned>(kDiskSectors), static_cast<unsigned>(kDiskSectors))});
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
  EXPECT_EQ(history.records.size(), 1u);
}

TEST_F(RebuildTest, NothingIsWrittenWithoutReadableTablesOrWithoutConsent) {
  struct Case {
    const char* name;
    bool readFault;
    bool unsavableHistory;
    std::deque<bool> answers;
    RebuildOutcome outcome;
  } cases[] = {
      {"the EBR sector does not read", true, false, {}, RebuildOutcome::kCancelled},
      {"no history, and the user declines", false, true, {false}, RebuildOutcome::kCancelled},
      {"no history, and the user goes on", false, true, {true}, RebuildOutcome::kWritten},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteWholeFile(Image(), original_);
    if (c.readFault) testing::InjectReadFault(Image(), kEbr, 1);
    RebuildRequest request = request_;
    if (c.unsavableHistory) request.historyPath = Image() + "/FixPartTable.dat";  // under a file
    test::ScriptedPrompts prompts(c.answers);
    RebuildReport report;
    EXPECT_EQ(RebuildPartitionTable(request, prompts, report), c.outcome);
    testing::ClearReadFaults();
    if (c.outcome == RebuildOutcome::kCancelled) {
      EXPECT_EQ(test::ReadWholeFile(Image()), original_);
    }
    if (c.readFault) {
      EXPECT_EQ(prompts.shown, (std::vector<std::u16string>{u"Disk read error!",
                                                            u"无法读取扇区" + DecimalText(kEbr) + u"，分区表没有任何改动。"}));
      EXPECT_TRUE(History().records.empty());
    }
    if (c.unsavableHistory) {
      EXPECT_EQ(prompts.asked.size(), 1u);
    }
  }
}

// 32-bit entries cannot hold a partition that ends past 2^32 sectors: an
// MBR asked for is refused before any question, and writes nothing (left
// to itself the rebuild takes a GPT, which this small disk cannot hold).
TEST_F(RebuildTest, APartitionPast2Pow32SectorsIsRefusedForAnMbr) {
  RebuildRequest request = request_;
  request.selection = {Part(0, 2048, 10000), Part(1, 4294960000u, 10000)};
  request.table = TableChoice::kMbr;
  test::ScriptedPrompts prompts;
  RebuildReport report;
  EXPECT_EQ(RebuildPartitionTable(request, prompts, report), RebuildOutcome::kCancelled);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(ToUtf8(prompts.shown[0]).find("您选择的01分区超出了MBR分区表能记录的范围"), std::string::npos)
      << ToUtf8(prompts.shown[0]);
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
  EXPECT_TRUE(History().records.empty());
  // Ending at 2^32 − 1, it still fits.
  EXPECT_EQ(FirstBeyondMbr({Part(0, 4294960000u, 7296)}), nullptr);
  EXPECT_NE(FirstBeyondMbr({Part(0, 4294960000u, 7297)}), nullptr);

  request.table = TableChoice::kAuto;
  test::ScriptedPrompts gpt;
  EXPECT_EQ(RebuildPartitionTable(request, gpt, report), RebuildOutcome::kCancelled);
  EXPECT_EQ(report.kind, TableKind::kGpt);
  ASSERT_EQ(gpt.shown.size(), 1u);
  EXPECT_NE(ToUtf8(gpt.shown[0]).find("超出了 GPT 分区表留给分区的区域"), std::string::npos) << ToUtf8(gpt.shown[0]);
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
}

// Asked for a GPT: the protective MBR over the old boot code, both headers
// and arrays, nothing else; the history holds both ends, and the undo gives
// every byte back.
TEST_F(RebuildTest, AGptRebuildWritesBothEndsOfTheDiskAndUndoGivesEveryByteBack) {
  request_.table = TableChoice::kGpt;
  test::ScriptedPrompts prompts;
  RebuildReport report;
  ASSERT_EQ(RebuildPartitionTable(request_, prompts, report), RebuildOutcome::kWritten);
  EXPECT_EQ(report.kind, TableKind::kGpt);
  // Two pieces: the protective MBR, header and array; the backup array and header.
  const std::vector<Sector64> ends = {0, kDiskSectors - 33};
  EXPECT_EQ(report.write.written, ends);
  const std::string after = test::ReadWholeFile(Image());
  for (Sector64 s = 34; s < kDiskSectors - 33; ++s) {
    if (SectorOf(after, s) != SectorOf(original_, s)) FAIL() << "sector " << s;
  }
  EXPECT_EQ(after.substr(0, 446), original_.substr(0, 446)) << "the boot code stays";

  DeviceHandle disk;
  ASSERT_TRUE(OpenDevice(request_.device.diskPath, disk));
  GptTable table;
  EXPECT_EQ(ReadGpt(disk, kSectorSize, kDiskSectors, table), GptRead::kPrimary);
  CloseDevice(disk);
  ASSERT_EQ(table.partitions.size(), 2u);
  EXPECT_EQ(table.partitions[0].firstLba, 2048u);
  EXPECT_EQ(table.partitions[0].lastLba, 2048u + 10000 - 1);
  EXPECT_EQ(table.partitions[1].firstLba, 20000u);
  EXPECT_NE(table.partitions[0].unique, table.partitions[1].unique);
  EXPECT_EQ(GuidText(table.partitions[1].type), gpt::kBasicDataType);

  DeviceHistory history = History();
  ASSERT_EQ(history.records.size(), 1u);
  ASSERT_EQ(history.records[0].sectors.size(), ends.size());
  EXPECT_EQ(history.records[0].sectors[0].data.size(), 34u * kSectorSize);
  EXPECT_EQ(history.records[0].sectors[1].data.size(), 33u * kSectorSize);
  UndoReport undo;
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(test::ReadWholeFile(Image()), original_);
}

TEST_F(RebuildTest, AGptRebuildWritesNothingItCouldNotKeepOrPlace) {
  struct Case {
    const char* name;
    std::function<void(RebuildRequest&)> change;
    std::vector<std::u16string> shown;
  };
  const std::vector<Case> cases = {
      {"the backup header's place does not read",
       [&](RebuildRequest&) { testing::InjectReadFault(Image(), kDiskSectors - 1, 1); },
       {u"Disk read error!", UnreadSectorMessage(kDiskSectors - 1)}},
      {"a partition over the backup array",
       [](RebuildRequest& r) { r.selection[1] = Part(1, 30000, kDiskSectors - 30000 - 10); },
       {u"您选择的01分区超出了 GPT 分区表留给分区的区域（扇区34到39966），无法写入 GPT 分区表！"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RebuildRequest request = request_;
    request.table = TableChoice::kGpt;
    c.change(request);
    test::ScriptedPrompts prompts;
    RebuildReport report;
    EXPECT_EQ(RebuildPartitionTable(request, prompts, report), RebuildOutcome::kCancelled);
    testing::ClearReadFaults();
    EXPECT_EQ(prompts.shown, c.shown);
    EXPECT_EQ(test::ReadWholeFile(Image()), original_);
    EXPECT_TRUE(History().records.empty());
  }
}

TEST_F(RebuildTest, UndoingAnOlderRecordUndoesTheLaterOnesNewestFirst) {
  // Three rebuilds of sector 0 that saved contents 1, 2 and 3; the disk now holds 4.
  RepairHistory file;
  for (std::uint8_t fill = 1; fill <= 3; ++fill) {
    RebuildRecord r;
    r.time = FormatText("2026-12-09 0%u:00:00", fill);
    SavedSector s;
    std::fill(s.data.begin(), s.data.end(), fill);
    r.sectors.push_back(s);
    AddRebuildRecord(file, u"rebuild.img", r);
  }
  AddRebuildRecord(file, u"other disk", file.devices[0].records[0]);
  ASSERT_TRUE(SaveHistory(request_.historyPath, file));
  test::WriteWholeFile(Image(), std::string(512, '\x04') + original_.substr(512));

  auto sector0 = [&] { return static_cast<int>(test::ReadWholeFile(Image())[0]); };
  test::ScriptedPrompts prompts;
  DeviceHistory history = History();
  UndoReport undo;
  ASSERT_TRUE(UndoRebuild(request_.device, history, 1, request_.historyPath, prompts, undo));
  EXPECT_EQ(sector0(), 2);
  ASSERT_EQ(history.records.size(), 1u);
  ASSERT_TRUE(SaveUndoneHistory(request_.historyPath, history));
  EXPECT_EQ(History().records.size(), 1u);

  history = History();
  ASSERT_TRUE(UndoRebuild(request_.device, history, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(sector0(), 1);
  ASSERT_TRUE(SaveUndoneHistory(request_.historyPath, history));
  RepairHistory left;
  ASSERT_TRUE(LoadHistory(request_.historyPath, left));
  ASSERT_EQ(left.devices.size(), 1u);
  EXPECT_EQ(left.devices[0].description, u"other disk");

  VolumeDescriptor missing = request_.device;
  missing.diskPath = FromUtf8(dir_.File("no such disk"));
  DeviceHistory some = file.devices[0];
  EXPECT_FALSE(UndoRebuild(missing, some, 0, request_.historyPath, prompts, undo));
  EXPECT_EQ(prompts.shown.back(), u"打开设备出错！");
  EXPECT_EQ(some.records.size(), 3u);

  // What the undo would overwrite can be neither read nor kept: nothing is written.
  const std::string disk = test::ReadWholeFile(Image());
  const std::string underAFile = Image() + "/FixPartTable.dat";
  testing::InjectReadFault(Image(), 0, 1);
  EXPECT_FALSE(UndoRebuild(request_.device, some, 0, request_.historyPath, prompts, undo));
  testing::ClearReadFaults();
  EXPECT_EQ(prompts.shown.back(), u"无法读取扇区0，分区表没有任何改动。");
  EXPECT_FALSE(UndoRebuild(request_.device, some, 0, underAFile, prompts, undo));
  EXPECT_EQ(prompts.shown.back(), u"无法保存撤销前的扇区（" + FromUtf8(UndoBackupPath(underAFile)) + u"），磁盘没有任何改动。");
  EXPECT_EQ(test::ReadWholeFile(Image()), disk);
  EXPECT_EQ(some.records.size(), 3u);
  EXPECT_TRUE(undo.written.empty());
}

}  // namespace
}  // namespace kestrum::repair
