#pragma once
// The browser page over a real reading of a fixture volume, driven as a
// user drives it, and what the browser tests compare an export with.

#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdint>
#include <map>
#include <string>

#include "gui/explorer_list_ctrl.h"
#include "gui/explorer_tree_ctrl.h"
#include "gui/fdr_dlg.h"
#include "gui_test_support.h"

namespace kestrum::test {

// The rows of disk.img's volumes on the device page, and their manifests.
constexpr int kNtfsRow = 0;
constexpr int kExfatRow = 3;
inline const char* const kManifests[] = {"disk.p1.manifest.tsv", "disk.p2.manifest.tsv", "disk.p5.manifest.tsv",
                                         "disk.p6.manifest.tsv"};

// A main window showing one partition of disk.img (or of `image`) in the browser.
struct Browser {
  GuiFixture gui;
  CFdrDlg* page = nullptr;
  CExplorerTreeCtrl* tree = nullptr;
  CExplorerListCtrl* list = nullptr;

  Browser(int mode, int row, const std::string& image = FixtureImage("disk.img"));

  // What the list shows in a cell, as a view asks for it.
  QString Text(int row, int column) const { return list->Model()->index(row, column).data().toString(); }
  int Row(const QString& name) const;
  QStringList RowNames() const;
  // Through the window, as the platform delivers a real click.
  static void Mouse(bool doubleClick, QWidget* target, QPoint at);
  void DoubleClickRow(int row);
  void ClickTreeItem(QTreeWidgetItem* item);
  void Tick(const QString& name);
  void Press(const char* button) { page->findChild<QPushButton*>(QString::fromUtf8(button))->click(); }
  // Exports the ticked rows into `target` as the user does.
  void ExportTo(const std::string& target);
};

QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& text);
std::uint64_t UnixToFileTime(std::int64_t seconds);
// Every manifest file below `prefix` (stripped), with its expected hash.
std::map<std::string, std::string> ExpectedFiles(const char* manifest, const std::string& prefix, bool deleted);
// The box after an export that copied every one of `files` files into `target`.
std::u16string ExportDone(std::size_t files, const std::string& target);
// The files an export wrote below `root` (the report files left out), with their hashes.
std::map<std::string, std::string> WrittenFiles(const std::string& root);

}  // namespace kestrum::test
