// The browser page over real readings of the fixture disk: the lazy tree,
// the list and its ticks, and exports checked against the manifests.

#include <gtest/gtest.h>

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

#include "gui/dev_sel_dlg.h"
#include "base/text.h"
#include "fs/tree/node_text.h"
#include "browser_support.h"
#include "gui_test_support.h"
#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/sha256.h"
#include "support/temp_dir.h"
#include "gui/explorer_list_ctrl.h"
#include "gui/explorer_tree_ctrl.h"
#include "gui/fdr_dlg.h"

namespace kestrum::test {
namespace {

namespace fs = std::filesystem;

TEST(Browser, TheTreeListsSubfoldersOnlyWhenAFolderIsFirstExpanded) {
  Browser b(2, kNtfsRow);
  ASSERT_EQ(b.gui.window->CurrentPage(), PageId::kBrowser);
  ASSERT_EQ(b.tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = b.tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), QStringLiteral("00  DISK_NTFS  0.00(GB)  0.05(GB)"));
  EXPECT_TRUE(root->isExpanded());
  EXPECT_EQ(b.tree->currentItem(), root);

  QTreeWidgetItem* docs = Child(root, QStringLiteral("docs"));
  QTreeWidgetItem* deep = Child(root, QStringLiteral("deep"));
  QTreeWidgetItem* emptyDir = Child(root, QStringLiteral("empty dir"));
  ASSERT_TRUE(docs && deep && emptyDir);
  // Folders only: no file of the root became a tree item.
  EXPECT_EQ(Child(root, QStringLiteral("README.TXT")), nullptr);
  EXPECT_TRUE(CExplorerTreeCtrl::HasPlaceholder(docs));
  EXPECT_EQ(docs->childCount(), 1);
  EXPECT_EQ(emptyDir->childCount(), 0);  // no subfolder, no expand button

  deep->setExpanded(true);
  ASSERT_EQ(deep->childCount(), 1);
  QTreeWidgetItem* l1 = deep->child(0);
  EXPECT_EQ(l1->text(0), QStringLiteral("l1"));
  EXPECT_TRUE(CExplorerTreeCtrl::HasPlaceholder(l1));
  // Collapsing and expanding again keeps the listed items.
  deep->setExpanded(false);
  deep->setExpanded(true);
  EXPECT_EQ(deep->child(0), l1);
}

TEST(Browser, TheListShowsNamesSizesAndBothDatesOfTheShownFolder) {
  Browser b(2, kNtfsRow);
  int readme = b.Row(QStringLiteral("README.TXT"));
  int empty = b.Row(QStringLiteral("empty.txt"));
  ASSERT_GE(readme, 0);
  ASSERT_GE(empty, 0);
  EXPECT_EQ(b.Text(readme, 1), QStringLiteral("      1 KB"));
  EXPECT_EQ(b.Text(empty, 1), QStringLiteral("      0 KB"));
  std::int64_t mtime = 0;
  for (const ManifestEntry& e : LoadManifest("disk.p1.manifest.tsv")) {
    if (e.path == "README.TXT") mtime = e.mtime;
  }
  EXPECT_EQ(b.Text(readme, 3), Q(FileTimeToLocalText(UnixToFileTime(mtime))));
  EXPECT_FALSE(b.Text(readme, 2).isEmpty());
  // Columns as the header reads them.
  auto* model = b.list->Model();
  QStringList headers;
  for (int c = 0; c < model->columnCount(); ++c) headers << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(headers, QStringList({"名称", "大小", "创建日期", "修改日期", "恢复可能性"}));
}

// A FAT16 volume made with mtools whose deleted files have every chance:
// gone.txt's cluster is still free, old.dat's was taken by sub/new.dat, and two
// entries are pointed by hand where their data cannot all come back:
// tail.bin at the volume's last cluster (three needed), lost.bin at none.
std::string WriteChancesVolume(const TempDir& dir) {
  const std::string image = dir.File("chances.img");
  fs::create_directories(dir.File("src"));
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::size_t>>{
           {"keep.txt", 100}, {"gone.txt", 300}, {"old.dat", 512}, {"new.dat", 512}, {"tail.bin", 1536},
           {"lost.bin", 700}, {"in.txt", 50}}) {
    WriteWholeFile(dir.File("src/" + name), std::string(bytes, name[0]));
  }
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  const auto src = [&](const char* name) { return dir.File("src/") + name; };
  for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
           {"truncate", "-s", "16M", image},
           {"mkfs.vfat", "-F", "16", "-s", "1", "-n", "CHANCES", image},
           {"mcopy", "-i", image, src("keep.txt"), src("gone.txt"), src("old.dat"), src("tail.bin"),
            src("lost.bin"), "::"},
           {"mmd", "-i", image, "::sub", "::trash"},
           {"mcopy", "-i", image, src("in.txt"), "::trash"},
           {"mdel", "-i", image, "::old.dat"},
           {"mcopy", "-i", image, src("new.dat"), "::sub"},
           {"mdel", "-i", image, "::gone.txt", "::tail.bin", "::lost.bin"},
           {"mdeltree", "-i", image, "::trash"}}) {
    CommandResult r = RunCommand(step);
    EXPECT_EQ(r.exitCode, 0) << step[0] << ": " << r.err;
  }
  std::string bytes = ReadWholeFile(image);
  auto le16 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
  };
  const std::size_t rootSector = le16(14) + static_cast<unsigned char>(bytes[16]) * le16(22);
  const std::size_t rootSectors = le16(17) * 32 / 512;
  const std::uint32_t lastCluster = static_cast<std::uint32_t>((le16(19) - rootSector - rootSectors) + 1);
  for (const auto& [shortName, cluster] : std::vector<std::pair<std::string, std::uint32_t>>{
           {"AIL    BIN", lastCluster}, {"OST    BIN", 0}}) {
    std::size_t at = bytes.find("\xE5" + shortName, rootSector * 512);
    EXPECT_NE(at, std::string::npos) << shortName;
    if (at == std::string::npos) continue;
    bytes[at + 26] = static_cast<char>(cluster & 0xFF);
    bytes[at + 27] = static_cast<char>(cluster >> 8);
  }
  WriteWholeFile(image, bytes);
  return image;
}

TEST(Browser, DeletedFilesShowTheirRecoveryChanceLiveFilesAndFoldersNone) {
  TempDir dir;
  const std::string image = WriteChancesVolume(dir);
  struct Case {
    int mode;
    QString folder;                      // below the root; empty: the root
    std::map<QString, QString> chances;  // row name -> the column's text
  } cases[] = {{1, "", {{"_one.txt", "良好"}, {"_ld.dat", "已覆盖"}, {"_ail.bin", "部分覆盖"}, {"_ost.bin", "未知"},
                        {"_rash", ""}}},
               {2, "", {{"keep.txt", ""}, {"sub", ""}}},
               {2, "sub", {{"new.dat", ""}}}};
  for (const Case& c : cases) {
    Browser b(c.mode, 0, image);
    ASSERT_EQ(b.gui.window->CurrentPage(), PageId::kBrowser) << "mode " << c.mode;
    if (!c.folder.isEmpty()) b.DoubleClickRow(b.Row(c.folder));
    if (c.mode == 1) Shoot(b.gui.window.get(), "17-browser-recovery-chance.png");
    std::map<QString, QString> shown;
    for (int r = 0; r < b.list->RowCount(); ++r) {
      if (b.Text(r, 0) == QStringLiteral("LostFile")) continue;
      shown[b.Text(r, 0)] = b.Text(r, 4);
    }
    EXPECT_EQ(shown, c.chances) << "mode " << c.mode << " " << c.folder.toStdString();
  }
}

TEST(Browser, DoubleClickingAFolderRowShowsItAndSelectsItInTheTree) {
  Browser b(2, kNtfsRow);
  int docs = b.Row(QStringLiteral("docs"));
  ASSERT_GE(docs, 0);
  b.DoubleClickRow(docs);
  EXPECT_EQ(b.RowNames(), QStringList({"readme.txt", "报告"}));
  ASSERT_NE(b.tree->currentItem(), nullptr);
  EXPECT_EQ(b.tree->currentItem()->text(0), QStringLiteral("docs"));
  EXPECT_EQ(b.tree->currentItem()->parent(), b.tree->topLevelItem(0));

  b.DoubleClickRow(b.Row(QStringLiteral("报告")));
  EXPECT_EQ(b.tree->currentItem()->text(0), QStringLiteral("报告"));
  QStringList inside = b.RowNames();
  // Double-clicking a file opens nothing.
  b.DoubleClickRow(0);
  EXPECT_EQ(b.RowNames(), inside);
  EXPECT_EQ(b.tree->currentItem()->text(0), QStringLiteral("报告"));
}

TEST(Browser, TicksVanishWhenAnotherFolderIsShown) {
  Browser b(2, kNtfsRow);
  b.Tick(QStringLiteral("README.TXT"));
  b.Tick(QStringLiteral("docs"));
  std::vector<std::uint32_t> ticked;
  EXPECT_TRUE(b.page->CollectTickedNodes(ticked));
  EXPECT_EQ(ticked.size(), 2u);
  b.DoubleClickRow(b.Row(QStringLiteral("docs")));
  b.ClickTreeItem(b.tree->topLevelItem(0));  // back to the root through the tree
  ASSERT_GE(b.Row(QStringLiteral("README.TXT")), 0);
  EXPECT_FALSE(b.page->CollectTickedNodes(ticked));
}

// The rows' texts and icons are made only when asked for: every row of a
// large folder, painted or not, still reads as its own node.
TEST(Browser, EveryRowOfALargeFolderShowsItsFileAndTicksOnlyItsNode) {
  Browser b(2, kNtfsRow);
  QTreeWidgetItem* many = Child(b.tree->topLevelItem(0), QStringLiteral("many"));
  ASSERT_NE(many, nullptr);
  b.ClickTreeItem(many);
  // KESTRUM_FIXTURE_MANY files, 1200 unless set.
  std::map<QString, QString> expected;  // name -> size text
  for (const ManifestEntry& e : LoadManifest("disk.p1.manifest.tsv")) {
    if (!e.folder && !e.deleted && e.path.rfind("many/", 0) == 0) {
      expected[QString::fromStdString(e.path.substr(5))] = Q(SizeText(e.size));
    }
  }
  const int files = static_cast<int>(expected.size());
  ASSERT_EQ(b.list->RowCount(), files);
  std::map<QString, QString> shown;
  std::set<qint64> icons;
  for (int r = 0; r < files; ++r) {
    shown[b.Text(r, 0)] = b.Text(r, 1);
    QIcon icon = b.list->Model()->index(r, 0).data(Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.isNull()) << r;
    icons.insert(icon.cacheKey());
  }
  EXPECT_EQ(shown, expected);
  // One icon for all of them: one cache entry per extension.
  const auto& cache = b.list->ExtensionCache();
  EXPECT_EQ(std::count(cache.begin(), cache.end(), QStringLiteral(".txt")), 1);
  EXPECT_EQ(icons.size(), 1u);

  // Ticked as the check box does it: that row's node, and no other.
  const int middle = files / 2;
  QAbstractItemModel* model = b.list->Model();
  ASSERT_TRUE(model->setData(model->index(middle, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(model->index(middle, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  std::vector<std::uint32_t> ticked;
  ASSERT_TRUE(b.page->CollectTickedNodes(ticked));
  EXPECT_EQ(ticked, std::vector<std::uint32_t>{b.list->RowNode(middle)});
  const FileNode* node = b.gui.window->Volumes().IsNodeVisible(kCurrentVolume, ticked[0], false);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(Q(std::u16string(node->name.data(), node->name.size())), b.Text(middle, 0));

  b.Press("selectAll");
  ASSERT_TRUE(b.page->CollectTickedNodes(ticked));
  ASSERT_EQ(ticked.size(), static_cast<std::size_t>(files));
  for (int r = 0; r < files; ++r) ASSERT_EQ(ticked[static_cast<std::size_t>(r)], b.list->RowNode(r));
  b.Press("clearAll");
  EXPECT_FALSE(b.page->CollectTickedNodes(ticked));
}

TEST(Browser, IconsGoByLowerCasedExtension) {
  Browser b(2, kNtfsRow);
  auto file = [](const char16_t* name) {
    FileNode node;
    node.type = kFile;
    node.name = name;
    return node;
  };
  FileNode folder = file(u"photos.jpg");
  folder.type = kFolder;
  EXPECT_EQ(b.list->IconIndex(folder), 0);
  EXPECT_EQ(b.list->IconIndex(file(u"a")), -1);
  EXPECT_EQ(b.list->IconIndex(file(u".profile")), -1);
  EXPECT_EQ(b.list->IconIndex(file(u"README")), -1);
  std::size_t before = b.list->ExtensionCache().size();
  int jpg = b.list->IconIndex(file(u"photo.JPG"));
  EXPECT_EQ(b.list->IconIndex(file(u"x.jpg")), jpg);
  EXPECT_EQ(b.list->ExtensionCache().size(), before + 1);
  EXPECT_EQ(b.list->ExtensionCache()[static_cast<std::size_t>(jpg)], QStringLiteral(".jpg"));
  EXPECT_NE(b.list->IconIndex(file(u"archive.tar.gz")), jpg);
}

TEST(Browser, TheContextMenuOpensFoldersAndSwitchesViewsWithoutTouchingRows) {
  Browser b(2, kNtfsRow);
  auto texts = [](QMenu* menu) {
    QStringList list;
    for (QAction* action : menu->actions()) list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
  };
  std::unique_ptr<QMenu> plain(b.list->BuildContextMenu());
  EXPECT_EQ(texts(plain.get()), QStringList({"预览窗格", "-", "图标", "列表", "细节"}));
  EXPECT_TRUE(plain->actions()[4]->isChecked());
  QStringList rows = b.RowNames();
  plain->actions()[2]->trigger();
  EXPECT_EQ(b.list->ViewMode(), 0);
  EXPECT_EQ(b.list->IconListView()->viewMode(), QListView::IconMode);
  EXPECT_EQ(b.RowNames(), rows);

  b.list->SelectRow(b.Row(QStringLiteral("sizes")));
  std::unique_ptr<QMenu> onRow(b.list->BuildContextMenu());
  EXPECT_EQ(texts(onRow.get()), QStringList({"复制", "打开", "预览窗格", "-", "图标", "列表", "细节"}));
  EXPECT_TRUE(onRow->actions()[4]->isChecked());
  onRow->actions()[1]->trigger();  // 打开
  EXPECT_EQ(b.tree->currentItem()->text(0), QStringLiteral("sizes"));
  EXPECT_EQ(b.list->RowCount(), 10);
  std::unique_ptr<QMenu> again(b.list->BuildContextMenu());
  again->actions()[4]->trigger();  // 细节
  EXPECT_EQ(b.list->ViewMode(), 2);
  EXPECT_EQ(b.list->RowCount(), 10);
}

TEST(Browser, ExportWithNothingTickedAsksForATickAndCancellingTheFolderDoesNothing) {
  Browser b(2, kNtfsRow);
  b.Press("export");
  EXPECT_EQ(b.gui.boxes.shown, std::vector<std::u16string>{u"请至少选择一个需要导出的目录和文件!"});
  EXPECT_EQ(b.gui.choosers.folderCalls, 0);
  b.gui.boxes.shown.clear();
  b.Tick(QStringLiteral("README.TXT"));
  b.Press("export");  // the chooser answers "cancelled"
  EXPECT_EQ(b.gui.choosers.folderCalls, 1);
  EXPECT_TRUE(b.gui.boxes.shown.empty());
  EXPECT_TRUE(b.list->IsRowChecked(b.Row(QStringLiteral("README.TXT"))));
}

TEST(Browser, ExportingDeletedItemsWritesTheirContent) {
  for (int row : {kNtfsRow, kExfatRow}) {
    SCOPED_TRACE(row);
    Browser b(1, row);
    ASSERT_EQ(b.gui.window->Volumes().viewMode, kViewDeletedFiles);
    b.Tick(QStringLiteral("gone.txt"));
    b.Tick(QStringLiteral("trash"));
    TempDir target;
    b.gui.choosers.folder = FromUtf8(target.path());
    b.Press("export");
    EXPECT_TRUE(b.gui.boxes.asked.empty());  // an image's neighbour is not the image
    std::map<std::string, std::string> expected = ExpectedFiles(kManifests[row], "", true);
    expected.erase("docs/removed.doc");  // not ticked
    EXPECT_EQ(b.gui.boxes.shown, std::vector<std::u16string>{ExportDone(expected.size(), target.path())});
    EXPECT_EQ(WrittenFiles(target.path()), expected);
  }
}

TEST(Browser, ExportingAFolderOfLiveFilesKeepsItsChineseNames) {
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    Browser b(2, row);
    b.DoubleClickRow(b.Row(QStringLiteral("docs")));
    b.Press("selectAll");
    TempDir target;
    b.gui.choosers.folder = FromUtf8(target.path());
    b.Press("export");
    const auto expected = ExpectedFiles(kManifests[row], "docs/", false);
    EXPECT_EQ(b.gui.boxes.shown, std::vector<std::u16string>{ExportDone(expected.size(), target.path())});
    EXPECT_EQ(WrittenFiles(target.path()), expected);
  }
}

// A small NTFS image holding one file, mounted with ntfs-3g (FUSE) the way a
// user would open an image to write into it; needs root and /dev/fuse.
class MountedImage {
 public:
  explicit MountedImage(const TempDir& dir) : image_(dir.File("mounted.img")), mountPoint_(dir.File("mnt")) {
    if (geteuid() != 0) return;
    fs::create_directory(mountPoint_);
    { std::ofstream(image_).close(); }
    fs::resize_file(image_, 8u << 20);
    if (RunCommand({"mkfs.ntfs", "-F", "-Q", "-q", image_}).exitCode != 0) return;
    // Written in a first mount, so the image holds it before it is read.
    if (!Mount()) return;
    WriteWholeFile(mountPoint_ + "/note.txt", "kept on the source\n");
    if (!Unmount()) return;
    Mount();
  }
  ~MountedImage() { Unmount(); }
  bool mounted() const { return mounted_; }
  const std::string& image() const { return image_; }
  const std::string& mountPoint() const { return mountPoint_; }

 private:
  bool Mount() { return mounted_ = RunCommand({"ntfs-3g", image_, mountPoint_}).exitCode == 0; }
  bool Unmount() {
    if (mounted_ && RunCommand({"umount", mountPoint_}).exitCode == 0) mounted_ = false;
    return !mounted_;
  }

  std::string image_;
  std::string mountPoint_;
  bool mounted_ = false;
};

TEST(Browser, ExportingOntoTheSourceDeviceAsksFirstAndNoWritesNothing) {
  TempDir dir;
  MountedImage source(dir);
  if (!source.mounted()) GTEST_SKIP() << "needs root and FUSE to mount an image";
  GuiFixture gui({source.image()});
  gui.ChooseFunction(2);
  gui.window->DevSel()->Next();
  CFdrDlg* page = gui.window->Fdr();
  int note = -1;
  for (int r = 0; r < page->List()->RowCount(); ++r) {
    if (page->List()->Model()->index(r, 0).data().toString() == QStringLiteral("note.txt")) note = r;
  }
  ASSERT_GE(note, 0);
  page->List()->SetRowChecked(note, true);
  fs::create_directory(source.mountPoint() + "/out");
  gui.choosers.folder = FromUtf8(source.mountPoint() + "/out");

  gui.boxes.answer = false;
  page->ExportButton()->click();
  ASSERT_EQ(gui.boxes.asked.size(), 1u);
  EXPECT_NE(gui.boxes.asked[0].find(u"覆盖"), std::u16string::npos);
  EXPECT_TRUE(gui.boxes.shown.empty());
  EXPECT_TRUE(fs::is_empty(source.mountPoint() + "/out"));

  gui.boxes.answer = true;
  page->ExportButton()->click();
  EXPECT_EQ(gui.boxes.asked.size(), 2u);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>{ExportDone(1, source.mountPoint() + "/out")});
  std::map<std::string, std::string> written = WrittenFiles(source.mountPoint() + "/out");
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written.begin()->second, Sha256Hex("kept on the source\n"));
}

}  // namespace
}  // namespace kestrum::test
