// The browser's filter bar over real readings of the fixture disk: the
// matches of the whole volume in one list with their folders, ticks that
// outlast the filter, and exports of matches that keep their folders.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <fnmatch.h>

#include <set>

#include "browser_support.h"
#include "gui/filter_bar.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace kestrum::test {
namespace {

// Every row as "folder/name", the way the list shows it.
std::set<std::string> ShownPaths(const Browser& b) {
  std::set<std::string> paths;
  for (int r = 0; r < b.list->RowCount(); ++r) {
    const QString folder = b.Text(r, 5);
    paths.insert(((folder.isEmpty() ? QString() : folder + "/") + b.Text(r, 0)).toStdString());
  }
  return paths;
}

std::set<std::string> LivePaths(const char* manifest, const std::function<bool(const ManifestEntry&)>& keep) {
  std::set<std::string> paths;
  for (const ManifestEntry& e : LoadManifest(manifest)) {
    if (!e.deleted && keep(e)) paths.insert(e.path);
  }
  return paths;
}

bool NameMatches(const char* pattern, const ManifestEntry& e) {
  return fnmatch(pattern, e.path.substr(e.path.rfind('/') + 1).c_str(), FNM_CASEFOLD) == 0;
}

TEST(BrowserFilter, TheMatchesOfTheWholeVolumeShowInOneListWithTheirFolders) {
  Browser b(2, kNtfsRow);
  CFilterBar* bar = b.page->Filter();
  bar->NameEdit()->setText(QStringLiteral("*.TXT"));
  ASSERT_TRUE(b.list->ShowsMatches());
  EXPECT_EQ(b.list->Model()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("路径"));
  const auto txt = LivePaths(kManifests[kNtfsRow], [](const ManifestEntry& e) { return NameMatches("*.txt", e); });
  EXPECT_EQ(ShownPaths(b), txt);
  EXPECT_EQ(bar->Message()->text(), QStringLiteral("在整个分区中找到 %1 项").arg(txt.size()));
  Shoot(b.gui.window.get(), "34-browser-filter.png");

  // Typed without a wildcard, a name is looked for anywhere in the names.
  bar->NameEdit()->setText(QStringLiteral("报告"));
  EXPECT_EQ(ShownPaths(b), (std::set<std::string>{"docs/报告"}));
  bar->NameEdit()->clear();
  bar->TypeBox()->setCurrentText(QStringLiteral("文档"));
  bar->MaxSizeEdit()->setText(QStringLiteral("1K"));
  EXPECT_EQ(bar->TypeBox()->currentIndex(), 2);
  EXPECT_EQ(ShownPaths(b), LivePaths(kManifests[kNtfsRow], [](const ManifestEntry& e) {
              return !e.folder && NameMatches("*.txt", e) && e.size <= 1024;
            }));

  // A range the wrong way round says so and leaves the list as it was.
  const auto before = ShownPaths(b);
  bar->MinSizeEdit()->setText(QStringLiteral("2K"));
  EXPECT_EQ(bar->Message()->text(), QStringLiteral("最小大小大于最大大小，请检查大小范围"));
  bar->MinSizeEdit()->clear();
  bar->UntilEdit()->setText(QStringLiteral("2024-01-01"));  // all of these are older
  EXPECT_EQ(ShownPaths(b), before);
  bar->SinceEdit()->setText(QStringLiteral("2025-01-01"));
  EXPECT_EQ(bar->Message()->text(), QStringLiteral("开始日期晚于结束日期，请检查日期范围"));
  EXPECT_EQ(ShownPaths(b), before);
  bar->UntilEdit()->setText(QStringLiteral("2024-13-01"));
  EXPECT_EQ(bar->Message()->text(), QStringLiteral("无法识别的日期：2024-13-01（例如 2024-06-30）"));
  EXPECT_EQ(ShownPaths(b), before);
  // A filter that matches nothing: an empty list that says so.
  bar->UntilEdit()->clear();
  EXPECT_EQ(b.list->RowCount(), 0) << "nothing of these was modified after 2025";
  EXPECT_EQ(bar->Message()->text(), QStringLiteral("没有符合筛选条件的文件或目录"));
  // Only deleted files: this view shows none.
  bar->ClearButton()->click();
  EXPECT_FALSE(b.list->ShowsMatches());
  bar->DeletedOnlyBox()->setChecked(true);
  EXPECT_EQ(b.list->RowCount(), 0);
}

TEST(BrowserFilter, TicksOutlastTheFilterAndGoingElsewhereEndsIt) {
  Browser b(2, kNtfsRow);
  b.Tick(QStringLiteral("README.TXT"));
  b.Tick(QStringLiteral("docs"));
  CFilterBar* bar = b.page->Filter();
  bar->NameEdit()->setText(QStringLiteral("readme"));
  ASSERT_EQ(ShownPaths(b), (std::set<std::string>{"README.TXT", "docs/readme.txt"}));
  EXPECT_TRUE(b.list->IsRowChecked(b.Row(QStringLiteral("README.TXT")))) << "a tick of the folder view shows here";
  EXPECT_FALSE(b.list->IsRowChecked(b.Row(QStringLiteral("readme.txt"))));
  b.Tick(QStringLiteral("readme.txt"));
  std::vector<std::uint32_t> ticked;
  ASSERT_TRUE(b.page->CollectTickedNodes(ticked));
  EXPECT_EQ(ticked.size(), 2u);

  bar->ClearButton()->click();
  EXPECT_FALSE(b.list->ShowsMatches());
  EXPECT_EQ(b.list->Model()->columnCount(), 5);
  std::set<QString> tickedNames;
  for (int r = 0; r < b.list->RowCount(); ++r) {
    if (b.list->IsRowChecked(r)) tickedNames.insert(b.Text(r, 0));
  }
  EXPECT_EQ(tickedNames, (std::set<QString>{"README.TXT", "docs"}));

  // Another folder ends the filter: its rows come unticked, the bar empty.
  bar->NameEdit()->setText(QStringLiteral("*.bin"));
  ASSERT_TRUE(b.list->ShowsMatches());
  b.ClickTreeItem(Child(b.tree->topLevelItem(0), QStringLiteral("sizes")));
  EXPECT_FALSE(b.list->ShowsMatches());
  EXPECT_TRUE(bar->NameEdit()->text().isEmpty());
  EXPECT_EQ(b.list->RowCount(), 10);
  EXPECT_FALSE(b.page->CollectTickedNodes(ticked));
}

TEST(BrowserFilter, ExportingMatchesKeepsEachFilesFolders) {
  for (int row : {kNtfsRow, kExfatRow}) {
    SCOPED_TRACE(row);
    Browser b(2, row);
    CFilterBar* bar = b.page->Filter();
    bar->NameEdit()->setText(QStringLiteral("*.txt"));
    bar->MaxSizeEdit()->setText(QStringLiteral("4K"));
    b.Press("selectAll");
    TempDir target;
    b.ExportTo(target.path());
    std::map<std::string, std::string> expected;
    for (const ManifestEntry& e : LoadManifest(kManifests[row])) {
      if (!e.deleted && !e.folder && NameMatches("*.txt", e) && e.size <= 4096) expected[e.path] = e.sha256;
    }
    ASSERT_GT(expected.size(), 1000u) << "many/ is in it";
    EXPECT_EQ(b.gui.boxes.shown, std::vector<std::u16string>{ExportDone(expected.size(), target.path())});
    EXPECT_EQ(WrittenFiles(target.path()), expected);
  }
}

}  // namespace
}  // namespace kestrum::test
