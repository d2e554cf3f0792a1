// The repair page and the undo dialog: mode 5 from the main menu over a disk
// that lost its partition table, the rebuild, and the undo.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>

#include <cstdlib>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "gui/dev_sel_dlg.h"
#include "gui/part_fix_dlg.h"
#include "gui/un_fix_part_dlg.h"
#include "gui_test_support.h"
#include "repair/repair_history.h"
#include "support/gpt_disk.h"
#include "support/lost_disk.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum::test {
namespace {

QStringList RowTexts(const QTableWidget* table, int row) {
  QStringList texts;
  for (int c = 0; c < table->columnCount(); ++c) texts << table->item(row, c)->text();
  return texts;
}

void Tick(QTableWidget* table, int row) { table->item(row, 0)->setCheckState(Qt::Checked); }

TEST(PartFix, FindsRebuildsAndUndoesOnADiskThatLostItsTable) {
  TempDir dir;
  LostDisk disk = MakeLostDisk(dir.path(), false);
  const std::string lost = ReadWholeFile(disk.image);
  GuiFixture gui({disk.image});
  CPartFixDlg* page = gui.window->PartFix();
  page->SetHistoryPath(dir.File("FixPartTable.dat"));

  gui.ChooseFunction(5);
  gui.window->DevSel()->Table()->selectRow(0);
  gui.window->DevSel()->Next();
  ASSERT_TRUE(WaitFor([&] { return gui.window->CurrentPage() == PageId::kRepair; }));
  QTableWidget* list = page->List();
  ASSERT_EQ(list->columnCount(), 8);
  EXPECT_EQ(list->horizontalHeaderItem(6)->text(), QStringLiteral("起始地址(GB)"));
  EXPECT_EQ(list->columnWidth(2), 120);
  ASSERT_EQ(list->rowCount(), 4);  // the logical volumes' data are still there
  EXPECT_EQ(RowTexts(list, 0), (QStringList{"00", "NTFS", "2048", "100351", "98304", "正确", "0.00", "0.05"}));
  EXPECT_EQ(RowTexts(list, 3).mid(0, 3), (QStringList{"03", "EXFAT", "284672"}));
  EXPECT_EQ(page->Device().diskDescription, u"lost-primaries.img");

  gui.boxes.shown.clear();
  page->RebuildButton()->click();
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"请至少选择一个分区!"});

  Tick(list, 0);
  Tick(list, 1);
  Shoot(gui.window.get(), "15-repair-page.png");
  gui.boxes.shown.clear();
  gui.boxes.answer = false;  // no question applies to these two
  page->RebuildButton()->click();
  EXPECT_TRUE(gui.boxes.asked.empty());
  ASSERT_EQ(gui.boxes.chosen.size(), 1u) << "GPT or MBR: both would do, MBR first";
  EXPECT_NE(gui.boxes.chosen[0].find(u"（磁盘原来没有 GPT 分区表）"), std::u16string::npos);
  // Said once: an image has no kernel table to read again.
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"重建分区表完成，请重启电脑查看分区是否已经找回。"});
  EXPECT_EQ(SfdiskPartitions(disk.image), disk.original);

  gui.boxes.shown.clear();
  auto ran = WhenModal<CUnFixPartDlg>([&](CUnFixPartDlg* dialog) {
    QTableWidget* records = dialog->List();
    EXPECT_EQ(records->rowCount(), 1);
    EXPECT_EQ(records->item(0, 0)->text(), QStringLiteral("lost-primaries.img"));
    EXPECT_EQ(records->horizontalHeaderItem(1)->text(), QStringLiteral("时间"));
    dialog->UndoRebuild();  // nothing ticked
    Tick(records, 0);
    Shoot(dialog, "16-undo-dialog.png");
    dialog->UndoRebuild();
  });
  page->UndoButton()->click();
  ASSERT_TRUE(*ran);
  EXPECT_EQ(gui.boxes.shown, (std::vector<std::u16string>{u"请选择一个操作记录！", u"lost-primaries.img"}));
  EXPECT_EQ(ReadWholeFile(disk.image), lost);

  gui.boxes.shown.clear();
  page->UndoButton()->click();
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"没有找到您重建分区表的历史记录！"});

  page->findChildren<QPushButton*>().back()->click();  // "上一步"
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
}

// A GPT disk that lost its protective MBR and primary GPT: the device page
// lists its volumes from the backup and says so; the repair page asks for
// the table (GPT first, as the disk had one), rebuilds it as sfdisk would
// accept, and its undo gives the lost state back byte for byte.
TEST(PartFix, OnAGptDiskThePageAsksForTheTableThenRebuildsAndUndoes) {
  TempDir dir;
  GptDisk disk;
  ASSERT_TRUE(MakeGptDisk(dir.path(), disk));
  ZeroSectors(disk.image, 0, 34);
  const std::string lost = ReadWholeFile(disk.image);
  {
    GuiFixture listing({disk.image});
    listing.ChooseFunction(1);
    ASSERT_TRUE(WaitFor([&] { return listing.window->DevSel()->Table()->rowCount() == 2; }));
    EXPECT_EQ(listing.boxes.shown,
              std::vector<std::u16string>{u"gpt.img：主 GPT 已损坏（没有 GPT 签名），分区取自磁盘末尾的备份 GPT"});
  }
  GuiFixture gui({disk.image});
  CPartFixDlg* page = gui.window->PartFix();
  page->SetHistoryPath(dir.File("FixPartTable.dat"));
  gui.ChooseFunction(5);
  gui.window->DevSel()->Table()->selectRow(0);
  gui.window->DevSel()->Next();
  ASSERT_TRUE(WaitFor([&] { return gui.window->CurrentPage() == PageId::kRepair; }));
  QTableWidget* list = page->List();
  ASSERT_EQ(list->rowCount(), 2);
  EXPECT_EQ(RowTexts(list, 1).mid(1, 2), (QStringList{"FAT32", "45056"}));
  Tick(list, 0);
  Tick(list, 1);
  Shoot(gui.window.get(), "20-repair-page-gpt.png");

  // Closing the question cancels, as No does elsewhere.
  gui.boxes.choice = -1;
  page->RebuildButton()->click();
  EXPECT_EQ(gui.boxes.chosen, std::vector<std::u16string>{
                                  u"这个磁盘可以写入 GPT 分区表，也可以写入 MBR 分区表（磁盘原来使用 GPT 分区表）。要写入哪一种？"});
  EXPECT_TRUE(gui.boxes.shown.empty());
  EXPECT_EQ(ReadWholeFile(disk.image), lost);

  gui.boxes.choice.reset();  // the recommended one: GPT
  page->RebuildButton()->click();
  ASSERT_FALSE(gui.boxes.shown.empty());
  EXPECT_EQ(gui.boxes.shown[0], u"重建分区表完成，请重启电脑查看分区是否已经找回。");
  bool clean = false;
  std::vector<SfdiskSeen> seen = SfdiskGpt(disk.image, clean);
  EXPECT_TRUE(clean);
  ASSERT_EQ(seen.size(), 2u);
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].start, disk.partitions[i].start);

  gui.boxes.shown.clear();
  auto ran = WhenModal<CUnFixPartDlg>([&](CUnFixPartDlg* dialog) {
    ASSERT_EQ(dialog->List()->rowCount(), 1);
    Tick(dialog->List(), 0);
    dialog->UndoRebuild();
  });
  page->UndoButton()->click();
  ASSERT_TRUE(*ran);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"gpt.img"});
  EXPECT_EQ(ReadWholeFile(disk.image), lost);
}

// small.img (sector 0 begins with 0x99) and a history of two rebuilds of it
// that each saved a zero sector 0; the repair page shows the disk.
struct TwoRecordDisk {
  explicit TwoRecordDisk(const TempDir& dir) : image(dir.File("small.img")), path(dir.File("FixPartTable.dat")) {
    SectorImage sectors(64);
    sectors.Put8(0, 0, 0x99);
    sectors.WriteTo(image);
    repair::RepairHistory history;
    for (const char16_t* time : {u"2026-12-09 01:00:00", u"2026-12-09 02:00:00"}) {
      repair::RebuildRecord record;
      record.time = time;
      record.sectors.resize(1);
      repair::AddRebuildRecord(history, u"small.img", record);
    }
    EXPECT_TRUE(repair::SaveHistory(path, history));
    page->SetHistoryPath(path);
    VolumeDescriptor device;
    device.diskPath = FromUtf8(image);
    device.diskDescription = u"small.img";
    device.sectorCount = 64;
    page->FillCandidates(device, {});
  }
  std::size_t RecordsLeft() const {
    repair::RepairHistory left;
    EXPECT_TRUE(repair::LoadHistory(path, left));
    return left.devices.empty() ? 0 : left.devices[0].records.size();
  }

  std::string image, path;
  GuiFixture gui{std::vector<std::string>{}};
  CPartFixDlg* page = gui.window->PartFix();
};

TEST(PartFix, UndoDialogTakesExactlyOneRecordAndCancelChangesNothing) {
  TempDir dir;
  TwoRecordDisk disk(dir);
  GuiFixture& gui = disk.gui;
  CPartFixDlg* page = disk.page;
  const std::string path = disk.path;
  const std::string before = ReadWholeFile(disk.image), saved = ReadWholeFile(path);
  EXPECT_EQ(page->List()->rowCount(), 0);

  auto ran = WhenModal<CUnFixPartDlg>([&](CUnFixPartDlg* dialog) {
    ASSERT_EQ(dialog->List()->rowCount(), 2);
    EXPECT_EQ(dialog->List()->item(1, 1)->text(), QStringLiteral("2026-12-09 02:00:00"));
    Tick(dialog->List(), 0);
    Tick(dialog->List(), 1);
    dialog->UndoRebuild();
    EXPECT_TRUE(dialog->isVisible());
    dialog->reject();  // "取消"
  });
  page->UndoButton()->click();
  ASSERT_TRUE(*ran);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"只能选择一个操作记录！"});
  EXPECT_EQ(ReadWholeFile(dir.File("small.img")), before);
  EXPECT_EQ(ReadWholeFile(path), saved);

  // Ticking the newer one undoes it alone and keeps the older record.
  ran = WhenModal<CUnFixPartDlg>([&](CUnFixPartDlg* dialog) {
    Tick(dialog->List(), 1);
    dialog->UndoRebuild();
  });
  page->UndoButton()->click();
  ASSERT_TRUE(*ran);
  EXPECT_EQ(ReadWholeFile(dir.File("small.img"))[0], '\0');  // the saved (zero) sector is back
  repair::RepairHistory left;
  ASSERT_TRUE(repair::LoadHistory(path, left));
  ASSERT_EQ(left.devices.size(), 1u);
  ASSERT_EQ(left.devices[0].records.size(), 1u);
  EXPECT_EQ(left.devices[0].records[0].time, u"2026-12-09 01:00:00");
}

TEST(PartFix, AnUndoWhoseWriteFailsSaysSoAndKeepsTheRecord) {
  TempDir dir;
  TwoRecordDisk disk(dir);
  const std::string before = ReadWholeFile(disk.image);
  testing::InjectWriteFault(disk.image, 0, 1);
  auto ran = WhenModal<CUnFixPartDlg>([&](CUnFixPartDlg* dialog) {
    Tick(dialog->List(), 0);
    dialog->UndoRebuild();
  });
  disk.page->UndoButton()->click();
  testing::ClearReadFaults();
  ASSERT_TRUE(*ran);
  // No box with the disk's name, which would read as done.
  EXPECT_EQ(disk.gui.boxes.shown, std::vector<std::u16string>{u"写磁盘出错！"});
  EXPECT_EQ(ReadWholeFile(disk.image), before);
  EXPECT_EQ(disk.RecordsLeft(), 2u);
}

}  // namespace
}  // namespace kestrum::test
