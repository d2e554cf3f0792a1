// The main window, the main menu and the moves between pages.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>

#include "gui/about_dlg.h"
#include "gui/dev_sel_dlg.h"
#include "gui/main_menu_dlg.h"
#include "gui_test_support.h"
#include "gui/disk_scan_set_dlg.h"
#include "gui/fdr_dlg.h"

namespace kestrum::test {
namespace {

QStringList Headers(const QTableWidget* table) {
  QStringList headers;
  for (int c = 0; c < table->columnCount(); ++c) headers << table->horizontalHeaderItem(c)->text();
  return headers;
}

bool HasLabel(const QWidget* parent, const QString& text) {
  for (const QLabel* label : parent->findChildren<QLabel*>()) {
    if (label->text() == text) return true;
  }
  return false;
}

TEST(MainWindow, OpensOnTheMenuWithTitleVersionAndSixExplainedButtons) {
  GuiFixture gui({});
  CKestrumDlg& window = *gui.window;
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Varnel数据恢复-免费版"));
  EXPECT_EQ(window.size(), QSize(900, 700));
  EXPECT_EQ(window.VersionLabel()->text(), QStringLiteral("软件版本： V2.16"));
  EXPECT_EQ(window.CurrentPage(), PageId::kMainMenu);
  auto* pages = window.findChild<QStackedWidget*>();
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->geometry(), QRect(0, 80, 894, 570));

  const std::pair<int, const char*> captions[] = {
      {1, "恢复误删除的文件"}, {2, "浏览恢复分区的文件"}, {3, "搜索恢复分区的文件"},
      {4, "搜索恢复磁盘的文件"}, {5, "恢复丢失的分区"},   {0, "关于本软件"}};
  for (const auto& [mode, caption] : captions) {
    ASSERT_NE(window.MainMenu()->Button(mode), nullptr);
    EXPECT_EQ(window.MainMenu()->Button(mode)->text(), QString::fromUtf8(caption));
  }
  EXPECT_TRUE(HasLabel(window.MainMenu(), QStringLiteral("从分区中恢复误删除的文件。适用于文件被删除并且没有写入新文件的情况。")));
  EXPECT_TRUE(HasLabel(window.MainMenu(), QStringLiteral("搜索丢失的分区，通过重建分区表，完美恢复丢失的分区及分区内数据。")));
  EXPECT_TRUE(HasLabel(window.MainMenu(), QStringLiteral("软件版权、版本等信息。")));
  EXPECT_TRUE(gui.boxes.shown.empty());
}

TEST(MainWindow, AboutShowsNameAndVersionAndClosesWithOk) {
  GuiFixture gui({});
  QString name;
  QString version;
  auto ran = WhenModal<CAboutDlg>([&](CAboutDlg* about) {
    name = HasLabel(about, QStringLiteral("软件名称：Varnel数据恢复-免费版")) ? QStringLiteral("ok") : QString();
    version = about->findChild<QLabel*>(QStringLiteral("version"))->text();
    for (QPushButton* button : about->findChildren<QPushButton*>()) {
      if (button->text() == QStringLiteral("确定")) button->click();
    }
  });
  gui.window->MainMenu()->Button(0)->click();
  EXPECT_TRUE(*ran);
  EXPECT_EQ(name, QStringLiteral("ok"));
  EXPECT_EQ(version, QStringLiteral("软件版本： V2.16"));
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kMainMenu);
}

// Sets a priority size through the real dialog.
void SetPrioritySize(CDevSelDlg* page, const QString& gib) {
  auto ran = WhenModal<CDiskScanSetDlg>([gib](CDiskScanSetDlg* dialog) {
    dialog->SizeEdit()->setText(gib);
    dialog->findChild<QPushButton*>(QStringLiteral("ok"))->click();
  });
  page->findChild<QPushButton*>(QStringLiteral("settings"))->click();
  ASSERT_TRUE(*ran);
}

TEST(MainWindow, EachFunctionResetsTheScanSettingsAndShowsItsColumns) {
  GuiFixture gui({FixtureImage("disk.img")});
  CDevSelDlg* page = gui.window->DevSel();
  const QStringList volumeHeaders = {"盘符", "分区卷标", "文件系统", "分区容量", "所属磁盘"};
  const QStringList diskHeaders = {"磁盘描述", "磁盘容量"};
  int previous = 0;
  for (int mode : {1, 4, 2, 5, 3, 3}) {
    if (previous != 0) {
      SetPrioritySize(page, QStringLiteral("2"));
      ASSERT_EQ(page->PriorityLength(), 4194304u) << "mode " << previous;
      page->findChild<QPushButton*>(QStringLiteral("back"))->click();
      ASSERT_EQ(gui.window->CurrentPage(), PageId::kMainMenu);
    }
    gui.ChooseFunction(mode);
    EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
    EXPECT_EQ(page->Mode(), mode);
    EXPECT_EQ(page->PriorityStart(), 0u) << "mode " << mode;
    EXPECT_EQ(page->PriorityLength(), 0u) << "mode " << mode;
    bool volumes = mode <= 3;
    EXPECT_EQ(Headers(page->Table()), volumes ? volumeHeaders : diskHeaders) << "mode " << mode;
    EXPECT_EQ(page->Table()->rowCount(), volumes ? 4 : 1) << "mode " << mode;
    previous = mode;
  }
  EXPECT_TRUE(gui.boxes.shown.empty());
}

TEST(MainWindow, BackFromTheBrowserKeepsTheDeviceListAndNextReadsAgain) {
  GuiFixture gui({FixtureImage("disk.img")});
  gui.ChooseFunction(2);
  CDevSelDlg* page = gui.window->DevSel();
  page->Table()->selectRow(1);
  page->Next();
  ASSERT_EQ(gui.window->CurrentPage(), PageId::kBrowser);
  auto firstTree = gui.window->Volumes().volumes.at(0).readerState.nodes;
  gui.window->Fdr()->findChild<QPushButton*>(QStringLiteral("back"))->click();
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
  EXPECT_EQ(page->Table()->rowCount(), 4);
  EXPECT_EQ(page->Table()->currentRow(), 1);
  page->findChild<QPushButton*>(QStringLiteral("next"))->click();
  ASSERT_EQ(gui.window->CurrentPage(), PageId::kBrowser);
  // The earlier reading is dropped: one volume, a new tree.
  ASSERT_EQ(gui.window->Volumes().volumes.size(), 1u);
  EXPECT_NE(gui.window->Volumes().volumes[0].readerState.nodes, firstTree);
  EXPECT_EQ(gui.window->Volumes().volumes[0].label, u"DISKFAT32");
}

}  // namespace
}  // namespace kestrum::test
