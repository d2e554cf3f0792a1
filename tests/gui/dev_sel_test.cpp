// The device page: its rows, its messages, image files, and "下一步".

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "gui/dev_sel_dlg.h"
#include "gui/progress_dlg.h"
#include "base/text.h"
#include "platform/fault_injection.h"
#include "platform/linux/sysfs.h"
#include "fs/tree/volume_set.h"
#include "gui_test_support.h"
#include "support/bitlocker_images.h"
#include "support/fixtures.h"
#include "support/picture_disk.h"
#include "support/run_command.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"
#include "gui/explorer_list_ctrl.h"
#include "gui/explorer_tree_ctrl.h"
#include "gui/fdr_dlg.h"

namespace kestrum::test {
namespace {

const std::u16string kSelectVolume = u"请选择一个分区";
const std::u16string kSelectDisk = u"请选择一个磁盘";
const std::u16string kListingFailed = u"获取设备信息失败!";
const std::u16string kNoVolume = u"未发现分区！";
const std::u16string kNoDisk = u"未发现磁盘设备，请确定磁盘设备正确连接电脑，然后点击刷新按钮!";

QStringList RowTexts(const QTableWidget* table, int row) {
  QStringList texts;
  for (int c = 0; c < table->columnCount(); ++c) texts << table->item(row, c)->text();
  return texts;
}

// An MBR disk of 4096 sectors with one partition the platform cannot name.
std::string WriteUnknownVolumeDisk(const TempDir& dir) {
  SectorImage image(4096);
  image.Put8(0, 446 + 4, 0x83);
  image.Put32(0, 446 + 8, 2048);
  image.Put32(0, 446 + 12, 2048);
  image.Put16(0, 510, 0xAA55);
  std::string path = dir.File("unknown.img");
  image.WriteTo(path);
  return path;
}

TEST(DevSel, VolumeRowsShowNameLabelFileSystemSizeAndDisk) {
  GuiFixture gui({FixtureImage("disk.img")});
  gui.ChooseFunction(1);
  const QTableWidget* table = gui.window->DevSel()->Table();
  ASSERT_EQ(table->rowCount(), 4);
  EXPECT_EQ(RowTexts(table, 0), QStringList({"disk.img#1", "DISK_NTFS", "NTFS", "0.05 GB", "disk.img"}));
  EXPECT_EQ(RowTexts(table, 1), QStringList({"disk.img#2", "DISKFAT32", "FAT32", "0.05 GB", "disk.img"}));
  EXPECT_EQ(RowTexts(table, 2), QStringList({"disk.img#5", "DISKFAT16", "FAT16", "0.04 GB", "disk.img"}));
  EXPECT_EQ(RowTexts(table, 3), QStringList({"disk.img#6", "DISKEXFAT", "EXFAT", "0.05 GB", "disk.img"}));
  // The first row comes selected.
  ASSERT_EQ(table->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(table->selectionModel()->selectedRows()[0].row(), 0);
  EXPECT_TRUE(gui.boxes.shown.empty());
}

TEST(DevSel, AHalfGibibyteVolumeWithoutLabelShowsSizeAndDefaultLabel) {
  TempDir dir;
  std::string path = dir.File("nolabel.img");
  CommandResult made = RunCommand({"/sbin/mkfs.fat", "-F", "16", "-C", path, "524288"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  ASSERT_EQ(std::filesystem::file_size(path), 1048576u * 512u);
  GuiFixture gui({path});
  gui.ChooseFunction(2);
  const QTableWidget* table = gui.window->DevSel()->Table();
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(RowTexts(table, 0), QStringList({"nolabel.img", "本地磁盘", "FAT16", "0.50 GB", "nolabel.img"}));
}

// The 3 TiB disk (its NTFS past 2^32 sectors) and a volume of 4096-byte
// sectors: listed with their sizes, and each opens in the browser on the
// tree the builder wrote.
TEST(DevSel, DisksOfTodayAreListedAndBrowsed) {
  GuiFixture gui({FixtureImage("big.img"), FixtureImage("ntfs4k.img")});
  gui.ChooseFunction(2);
  const QTableWidget* table = gui.window->DevSel()->Table();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(RowTexts(table, 0), QStringList({"big.img#1", "BIGFAT32", "FAT32", "0.09 GB", "big.img"}));
  EXPECT_EQ(RowTexts(table, 1), QStringList({"big.img#2", "BIG_NTFS", "NTFS", "0.09 GB", "big.img"}));
  EXPECT_EQ(RowTexts(table, 2), QStringList({"ntfs4k.img", "NTFS4K", "NTFS", "0.06 GB", "ntfs4k.img"}));
  Shoot(gui.window.get(), "18-device-page-3tb-4k.png");
  for (const auto& [row, manifest] : std::vector<std::pair<int, std::string>>{{1, "big.p2.manifest.tsv"},
                                                                              {2, "ntfs4k.manifest.tsv"}}) {
    gui.window->ShowPage(PageId::kMainMenu);
    gui.ChooseFunction(2);
    gui.window->DevSel()->Table()->selectRow(row);
    gui.window->DevSel()->Next();
    ASSERT_EQ(gui.window->CurrentPage(), PageId::kBrowser) << manifest;
    EXPECT_TRUE(gui.boxes.shown.empty()) << manifest;
    std::set<QString> shown, expected;
    const CExplorerListCtrl* list = gui.window->Fdr()->List();
    for (int r = 0; r < list->RowCount(); ++r) shown.insert(list->Model()->index(r, 0).data().toString());
    for (const ManifestEntry& e : LoadManifest(manifest)) {
      if (!e.deleted && e.path.find('/') == std::string::npos) expected.insert(QString::fromStdString(e.path));
    }
    expected.insert(QStringLiteral("LostFile"));
    EXPECT_EQ(shown, expected) << manifest;
    if (row == 1) {
      // The volume's start past 2 TiB, its size, in the tree's root.
      const QTreeWidget* tree = gui.window->Fdr()->Tree();
      ASSERT_EQ(tree->topLevelItemCount(), 1);
      EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("00  BIG_NTFS  2.33(TB)  0.09(GB)"));
      Shoot(gui.window.get(), "19-browser-ntfs-past-2tib.png");
    }
  }
}

TEST(DevSel, AnUnknownFileSystemIsListedBlankAndReadsAsAnEmptyVolume) {
  TempDir dir;
  GuiFixture gui({WriteUnknownVolumeDisk(dir)});
  gui.ChooseFunction(1);
  const QTableWidget* table = gui.window->DevSel()->Table();
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("unknown.img#1"));
  EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral(" "));
  gui.window->DevSel()->Next();
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kBrowser);
  EXPECT_EQ(gui.window->Volumes().volumes.size(), 1u);
  EXPECT_EQ(gui.window->Fdr()->Tree()->topLevelItemCount(), 0);
  EXPECT_EQ(gui.window->Fdr()->List()->RowCount(), 0);
  EXPECT_TRUE(gui.boxes.shown.empty());
}

TEST(DevSel, ANamedVolumeWhoseStructuresWillNotReadSaysSoAndStays) {
  TempDir dir;
  std::string path = dir.File("broken-ntfs.img");
  std::filesystem::copy_file(FixtureImage("ntfs.img"), path);
  {
    // Zero record 0 of the MFT and of its mirror: the boot sector still names NTFS.
    std::fstream image(path, std::ios::in | std::ios::out | std::ios::binary);
    char boot[512];
    image.read(boot, sizeof boot);
    auto le64 = [&](int at) {
      std::uint64_t v = 0;
      for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(boot[at + i]);
      return v;
    };
    const std::uint64_t cluster = 512u * static_cast<unsigned char>(boot[13]);
    const std::string zeros(1024, '\0');
    for (std::uint64_t mft : {le64(48), le64(56)}) {
      image.seekp(static_cast<std::streamoff>(mft * cluster));
      image.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
  }
  GuiFixture gui({path});
  gui.ChooseFunction(2);
  ASSERT_EQ(gui.window->DevSel()->Table()->rowCount(), 1);
  gui.window->DevSel()->Next();
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"读取分区的文件系统失败：broken-ntfs.img"});
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
  EXPECT_TRUE(gui.window->Volumes().volumes.empty());
}

TEST(DevSel, ABitLockerVolumeIsNamedAndNotOpened) {
  TempDir dir;
  GuiFixture gui({MakeBitLockerImages(dir.path()).fve});
  gui.ChooseFunction(1);
  ASSERT_EQ(gui.window->DevSel()->Table()->rowCount(), 1);
  EXPECT_EQ(gui.window->DevSel()->Table()->item(0, 2)->text(), QStringLiteral("BitLocker"));
  gui.window->DevSel()->Next();
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{u"此分区已被 BitLocker 加密，请先在 Windows 中解锁后再恢复"});
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
}

TEST(DevSel, NextWithoutASelectedRowAsksForAVolumeOrADisk) {
  GuiFixture gui({FixtureImage("disk.img")});
  for (int mode : {1, 2, 3}) {
    gui.window->ShowPage(PageId::kMainMenu);
    gui.ChooseFunction(mode);
    gui.window->DevSel()->Table()->clearSelection();
    gui.boxes.shown.clear();
    gui.window->DevSel()->findChild<QPushButton*>(QStringLiteral("next"))->click();
    EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{kSelectVolume}) << "mode " << mode;
    EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
  }
  for (int mode : {4, 5}) {
    gui.window->ShowPage(PageId::kMainMenu);
    gui.ChooseFunction(mode);  // disk rows come unselected
    gui.boxes.shown.clear();
    gui.window->DevSel()->Next();
    EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{kSelectDisk}) << "mode " << mode;
  }
}

// "下一步" of the two file searches: the scan runs behind the progress
// dialog with "暂停", and the browser opens on the files found by content.
TEST(DevSel, FileSearchesScanBehindTheDialogAndBrowseTheFilesFound) {
  TempDir dir;
  PictureDisk disk;
  ASSERT_TRUE(MakePictureDisk(dir.path(), disk));
  GuiFixture gui({disk.image});
  for (int mode : {4, 3}) {
    gui.window->ShowPage(PageId::kMainMenu);
    gui.ChooseFunction(mode);
    gui.window->DevSel()->Table()->selectRow(0);
    gui.boxes.shown.clear();
    bool pauseShown = false;
    auto ran = WhenModal<CProgressDlg>([&](CProgressDlg* dialog) { pauseShown = dialog->PauseButton()->isVisible(); });
    gui.window->DevSel()->Next();
    EXPECT_TRUE(*ran) << "mode " << mode;
    EXPECT_TRUE(pauseShown) << "mode " << mode;
    EXPECT_TRUE(gui.boxes.shown.empty()) << "mode " << mode;
    ASSERT_EQ(gui.window->CurrentPage(), PageId::kBrowser) << "mode " << mode;
    const VolumeSet& set = gui.window->Volumes();
    // The files found by content come first, then the FAT32 volume the scan
    // found again from its own structures.
    ASSERT_GE(set.volumes.size(), 2u) << "mode " << mode;
    EXPECT_EQ(set.volumes[0].label, u"SearchFile");
    bool fatVolumeFound = false;
    for (std::size_t i = 1; i < set.volumes.size(); ++i) {
      const VolumeDescriptor& found = set.volumes[i];
      EXPECT_NE(found.foundBy, FoundBy::kSignatures) << "mode " << mode;
      fatVolumeFound = fatVolumeFound || (found.startSector == 2048 && found.fsKind == kFsFat32);
    }
    EXPECT_TRUE(fatVolumeFound) << "mode " << mode;
    std::set<std::u16string> folders;
    const NodeArray& nodes = *set.volumes[0].readerState.nodes;
    for (std::uint32_t child : ChildrenOf(nodes.nodes, kRootNodeId)) folders.emplace(nodes.nodes[child].name);
    EXPECT_TRUE(folders.count(u"jpg-5") && folders.count(u"png-4") && folders.count(u"pdf-3")) << "mode " << mode;
    EXPECT_TRUE(folders.count(u"gif"));
  }
  // The same partition again: the earlier scan is offered; Yes reads nothing more.
  gui.window->ShowPage(PageId::kMainMenu);
  gui.ChooseFunction(3);
  gui.window->DevSel()->Table()->selectRow(0);
  gui.boxes.answer = true;
  const std::uint32_t analysed = gui.window->DevSel()->KeptScanState().AnalysedBlocks();
  gui.window->DevSel()->Next();
  EXPECT_EQ(gui.boxes.asked, std::vector<std::u16string>{u"上次扫描过此设备，是否复用上次扫描的数据?"});
  // Enter keeps the long scan: the safe answer is the default.
  EXPECT_EQ(gui.boxes.defaults, std::vector<DefaultAnswer>{DefaultAnswer::kYes});
  EXPECT_EQ(gui.window->DevSel()->KeptScanState().AnalysedBlocks(), analysed);
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kBrowser);
}

TEST(DevSel, WithoutAnyDiskVolumeModesFailTheListingAndDiskModesSayNoDisk) {
  GuiFixture gui({});
  gui.ChooseFunction(1);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{kListingFailed});
  EXPECT_EQ(gui.window->DevSel()->Table()->rowCount(), 0);
  gui.boxes.shown.clear();
  gui.window->ShowPage(PageId::kMainMenu);
  gui.ChooseFunction(4);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{kNoDisk});
  EXPECT_EQ(gui.window->DevSel()->Table()->rowCount(), 0);
}

// The machine's disks refused, as to a user without rights: the image's
// rows stay, and one box names the disks and why instead of "no disk".
TEST(DevSel, DisksThatWillNotOpenAreNamedNotTakenForMissing) {
  TempDir sysfs;
  for (const char* name : {"sda", "vda"}) std::filesystem::create_directories(sysfs.File(name));
  DiscoveryPlatform platform;
  platform.disks = std::make_shared<SysfsDisks>(sysfs.path());
  platform.open = [](const std::u16string& path, DeviceHandle& out) {
    return path.starts_with(u"/dev/") ? EACCES : OpenDeviceOrErrno(path, out);
  };
  const std::u16string named = u"无法打开设备: /dev/sda（权限不足）\n无法打开设备: /dev/vda（权限不足）\n"
                               u"读取磁盘需要 root 权限，请以 root 身份运行本软件（例如用 sudo）";
  struct Case {
    std::vector<std::string> images;
    int mode;
    int rows;
  } cases[] = {{{FixtureImage("fat16.img")}, 4, 1}, {{FixtureImage("fat16.img")}, 1, 1}, {{}, 5, 0}, {{}, 2, 0}};
  for (const Case& c : cases) {
    GuiFixture gui(c.images);
    gui.window->DevSel()->SetSystemDisks(true);
    gui.window->DevSel()->SetDiscoveryPlatform(platform);
    gui.ChooseFunction(c.mode);
    EXPECT_EQ(gui.window->DevSel()->Table()->rowCount(), c.rows) << "mode " << c.mode;
    EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{named}) << "mode " << c.mode;
  }
}

TEST(DevSel, ADiskWithoutVolumesSaysNoVolumeFound) {
  TempDir dir;
  SectorImage blank(8192);  // no partition table, no file system
  blank.WriteTo(dir.File("blank.img"));
  GuiFixture gui({dir.File("blank.img")});
  gui.ChooseFunction(2);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{kNoVolume});
  EXPECT_EQ(gui.window->DevSel()->Table()->rowCount(), 0);
}

TEST(DevSel, QuittingTheListingSaysItFailed) {
  GuiFixture gui({FixtureImage("disk.img")});
  // "退出" while the listing worker is held inside its reading of the image.
  auto ran = QuitWhileTheWorkerWaits(FixtureImage("disk.img"));
  gui.ChooseFunction(1);
  testing::OpenReadGate();
  ASSERT_TRUE(*ran);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{kListingFailed});
  EXPECT_EQ(gui.window->DevSel()->Table()->rowCount(), 0);
}

TEST(DevSel, AnImageFileOpenedOnThePageIsListedAsADiskAndItsVolumes) {
  GuiFixture gui({});
  gui.ChooseFunction(4);
  ASSERT_EQ(gui.boxes.shown, std::vector<std::u16string>{kNoDisk});
  gui.choosers.images = {FromUtf8(FixtureImage("disk.img")), FromUtf8(FixtureImage("fat16.img"))};
  gui.window->DevSel()->findChild<QPushButton*>(QStringLiteral("openImage"))->click();
  const QTableWidget* table = gui.window->DevSel()->Table();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("disk.img"));
  EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("fat16.img"));
  EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("64.00 MB"));

  gui.window->ShowPage(PageId::kMainMenu);
  gui.ChooseFunction(1);
  ASSERT_EQ(table->rowCount(), 5);  // four partitions, and the whole fat16 image
  EXPECT_EQ(table->item(4, 0)->text(), QStringLiteral("fat16.img"));
  EXPECT_EQ(table->item(4, 1)->text(), QStringLiteral("FAT16VOL"));
}

TEST(DevSel, RefreshDropsADiskThatIsGone) {
  TempDir dir;
  std::filesystem::copy_file(FixtureImage("fat16.img"), dir.File("copy.img"));
  GuiFixture gui({FixtureImage("disk.img"), dir.File("copy.img")});
  gui.ChooseFunction(5);
  ASSERT_EQ(gui.window->DevSel()->Table()->rowCount(), 2);
  std::filesystem::remove(dir.File("copy.img"));
  gui.boxes.shown.clear();
  gui.window->DevSel()->findChild<QPushButton*>(QStringLiteral("refresh"))->click();
  EXPECT_EQ(gui.window->DevSel()->Table()->rowCount(), 1);
  EXPECT_EQ(gui.window->DevSel()->Disks().size(), 1u);
  // The vanished file is named to the user.
  ASSERT_EQ(gui.boxes.shown.size(), 1u);
  EXPECT_NE(gui.boxes.shown[0].find(u"copy.img"), std::u16string::npos);
}

// "创建镜像文件…" on a failing disk image: the copy runs behind the progress
// dialog with "暂停", the summary names the unreadable sectors and the map,
// and the new image is listed as a disk; a volume is copied as its part of
// the disk.
TEST(DevSel, CreatingAnImageCopiesTheSelectedDiskOrVolumeAndListsIt) {
  TempDir dir;
  const std::string failing = dir.File("failing.img");
  std::filesystem::copy_file(FixtureImage("disk.img"), failing);
  const std::string source = ReadWholeFile(failing);
  testing::ClearReadFaults();
  testing::InjectReadFault(failing, 100400, 8);  // inside the FAT32 volume
  GuiFixture gui({failing});
  gui.ChooseFunction(4);
  gui.window->DevSel()->Table()->selectRow(0);
  const std::string image = dir.File("failing-copy.img");
  gui.choosers.imageTarget = FromUtf8(image);
  bool pauseShown = false;
  auto ran = WhenModal<CProgressDlg>([&](CProgressDlg* dialog) {
    pauseShown = dialog->PauseButton()->isVisible();
    WaitFor([&] { return dialog->Line(0)->text().contains(QStringLiteral("镜像")); }, 5000);
    Shoot(dialog, "22-progress-image.png");
  });
  gui.window->DevSel()->findChild<QPushButton*>(QStringLiteral("createImage"))->click();
  EXPECT_TRUE(*ran);
  EXPECT_TRUE(pauseShown);
  ASSERT_EQ(gui.boxes.shown.size(), 1u);
  const std::string summary = ToUtf8(gui.boxes.shown[0]);
  EXPECT_NE(summary.find("镜像文件创建完成！"), std::string::npos) << summary;
  EXPECT_NE(summary.find("无法读取的扇区 8 个（1 处）"), std::string::npos) << summary;
  EXPECT_NE(summary.find("映射文件：" + image + ".map"), std::string::npos) << summary;
  std::string expected = source;
  std::fill(expected.begin() + 100400 * 512, expected.begin() + 100408 * 512, '\0');
  EXPECT_TRUE(ReadWholeFile(image) == expected);
  const QTableWidget* table = gui.window->DevSel()->Table();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("failing-copy.img"));
  Shoot(gui.window.get(), "23-device-page-image.png");

  // The FAT32 volume of the disk: its own sectors, from its first on.
  gui.window->ShowPage(PageId::kMainMenu);
  gui.ChooseFunction(1);
  gui.window->DevSel()->Table()->selectRow(1);
  ASSERT_EQ(gui.window->DevSel()->Volumes()[1].startSector, 100352u);
  const std::string volume = dir.File("fat32.img");
  gui.choosers.imageTarget = FromUtf8(volume);
  gui.boxes.shown.clear();
  gui.window->DevSel()->findChild<QPushButton*>(QStringLiteral("createImage"))->click();
  ASSERT_EQ(gui.boxes.shown.size(), 1u);
  EXPECT_NE(ToUtf8(gui.boxes.shown[0]).find("无法读取的扇区 8 个"), std::string::npos);
  EXPECT_TRUE(ReadWholeFile(volume) == expected.substr(100352u * 512, 98304u * 512));
  testing::ClearReadFaults();
  EXPECT_TRUE(ReadWholeFile(failing) == source) << "the source is only read";
}

}  // namespace
}  // namespace kestrum::test
