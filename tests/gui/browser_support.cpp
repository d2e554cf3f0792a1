#include "browser_support.h"

#include <gtest/gtest.h>

#include <QTableWidget>

#include <filesystem>

#include "base/text.h"
#include "gui/dev_sel_dlg.h"
#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/sha256.h"

namespace kestrum::test {

namespace fs = std::filesystem;

Browser::Browser(int mode, int row, const std::string& image) : gui({image}) {
  gui.ChooseFunction(mode);
  gui.window->DevSel()->Table()->selectRow(row);
  gui.window->DevSel()->Next();
  page = gui.window->Fdr();
  tree = page->Tree();
  list = page->List();
}

int Browser::Row(const QString& name) const {
  for (int r = 0; r < list->RowCount(); ++r) {
    if (Text(r, 0) == name) return r;
  }
  return -1;
}

QStringList Browser::RowNames() const {
  QStringList names;
  for (int r = 0; r < list->RowCount(); ++r) names << Text(r, 0);
  return names;
}

void Browser::Mouse(bool doubleClick, QWidget* target, QPoint at) {
  QWidget* top = target->window();
  QPoint inWindow = target->mapTo(top, at);
  if (doubleClick) {
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow);
  } else {
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow);
  }
}

void Browser::DoubleClickRow(int row) {
  QTreeView* view = list->DetailView();
  QModelIndex index = list->Model()->index(row, 1);
  view->scrollTo(index);
  Mouse(true, view->viewport(), view->visualRect(index).center());
}

void Browser::ClickTreeItem(QTreeWidgetItem* item) {
  tree->scrollToItem(item);
  Mouse(false, tree->viewport(), tree->visualItemRect(item).center());
}

void Browser::Tick(const QString& name) {
  int row = Row(name);
  ASSERT_GE(row, 0) << name.toStdString();
  list->SetRowChecked(row, true);
}

void Browser::ExportTo(const std::string& target) {
  gui.choosers.folder = FromUtf8(target);
  Press("export");
}

QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& text) {
  for (int i = 0; i < item->childCount(); ++i) {
    if (item->child(i)->text(0) == text) return item->child(i);
  }
  return nullptr;
}

std::uint64_t UnixToFileTime(std::int64_t seconds) {
  return static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

std::map<std::string, std::string> ExpectedFiles(const char* manifest, const std::string& prefix, bool deleted) {
  std::map<std::string, std::string> files;
  for (const ManifestEntry& e : LoadManifest(manifest)) {
    if (e.folder || e.deleted != deleted || e.path.rfind(prefix, 0) != 0) continue;
    files[e.path.substr(prefix.size())] = e.sha256;
  }
  return files;
}

std::u16string ExportDone(std::size_t files, const std::string& target) {
  return FormatText("导出文件成功！\n已复制 %zu 个文件。\n恢复报告：%s/恢复报告.csv", files, target.c_str());
}

std::map<std::string, std::string> WrittenFiles(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file() && !IsReportFile(relative)) files[relative] = Sha256OfFile(entry.path().string());
  }
  return files;
}

}  // namespace kestrum::test
