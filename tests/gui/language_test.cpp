// The desktop program in both of its languages: every page, dialog and
// message box opened, each text within its widget (measured with the
// widget's font), no Chinese left in the English one; restarting with
// administrator rights; the English screenshots of docs/.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QTableWidget>
#include <QTreeView>

#include "base/catalog.h"
#include "base/text.h"
#include "platform/fault_injection.h"
#include "gui/about_dlg.h"
#include "gui/admin_restart.h"
#include "gui/dev_sel_dlg.h"
#include "gui/disk_scan_set_dlg.h"
#include "gui/explorer_list_ctrl.h"
#include "gui/fdr_dlg.h"
#include "gui/main_menu_dlg.h"
#include "gui/part_fix_dlg.h"
#include "gui/preview_pane.h"
#include "gui/progress_dlg.h"
#include "gui/qt_dialogs.h"
#include "gui/translations.h"
#include "gui/un_fix_part_dlg.h"
#include "gui_test_support.h"
#include "repair/repair_history.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum::test {
namespace {

bool HasChinese(const QString& text) {
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x303F) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

struct Checked {
  QWidget* root;
  std::string where;
  bool english;
};

// Every text under the widget fits its room, with the widget's own font;
// in English none holds Chinese (but the rows of tables and the progress
// lines, which show what the disks hold).
void ExpectTextsFit(const Checked& c) {
  SCOPED_TRACE(c.where);
  if (c.english) {
    EXPECT_FALSE(HasChinese(c.root->window()->windowTitle())) << c.root->window()->windowTitle().toStdString();
  }
  int checked = 0;
  for (QAbstractButton* button : c.root->findChildren<QAbstractButton*>()) {
    if (!button->isVisible() || button->text().isEmpty()) continue;
    ++checked;
    EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
    if (c.english) {
      EXPECT_FALSE(HasChinese(button->text())) << button->text().toStdString();
    }
  }
  for (QLabel* label : c.root->findChildren<QLabel*>()) {
    if (!label->isVisible() || label->text().isEmpty()) continue;
    ++checked;
    ExpectLabelHoldsItsText(label);
    if (c.english && label->objectName() != QStringLiteral("progressLine")) {
      EXPECT_FALSE(HasChinese(label->text())) << label->text().toStdString();
    }
  }
  // A combo box is as wide as its longest item; an empty field's hint fits
  // within its frame and margins.
  for (QComboBox* box : c.root->findChildren<QComboBox*>()) {
    if (!box->isVisible()) continue;
    ++checked;
    EXPECT_LE(box->sizeHint().width(), box->width()) << box->currentText().toStdString();
    for (int i = 0; c.english && i < box->count(); ++i) {
      EXPECT_FALSE(HasChinese(box->itemText(i))) << box->itemText(i).toStdString();
    }
  }
  for (QLineEdit* edit : c.root->findChildren<QLineEdit*>()) {
    if (!edit->isVisible() || edit->placeholderText().isEmpty() || !edit->text().isEmpty()) continue;
    ++checked;
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.rect = edit->rect();
    frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
    const QRect contents =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, edit).marginsRemoved(edit->textMargins());
    const int room = contents.width() - 2 * 2;  // the line edit's own margin on either side
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->placeholderText()), room)
        << edit->placeholderText().toStdString();
    if (c.english) {
      EXPECT_FALSE(HasChinese(edit->placeholderText())) << edit->placeholderText().toStdString();
    }
  }
  for (QHeaderView* header : c.root->findChildren<QHeaderView*>()) {
    if (!header->isVisible() || header->orientation() != Qt::Horizontal || header->model() == nullptr) continue;
    for (int section = 0; section < header->count(); ++section) {
      if (header->isSectionHidden(section)) continue;
      ++checked;
      const QString text = header->model()->headerData(section, Qt::Horizontal).toString();
      // The text and the style's margins on either side.
      const int needed = QFontMetrics(header->font()).horizontalAdvance(text) +
                         2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
      EXPECT_LE(needed, header->sectionSize(section)) << text.toStdString();
      if (c.english) {
        EXPECT_FALSE(HasChinese(text)) << text.toStdString();
      }
    }
  }
  EXPECT_GT(checked, 0) << "nothing shown";
}

class Languages : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override { UseLanguage(GetParam()); }
  void TearDown() override { UseLanguage(Language::kChinese); }
  bool English() const { return GetParam() == Language::kEnglish; }
  Checked In(QWidget* widget, const std::string& where) const { return {widget, where, English()}; }
};

std::string Name(const ::testing::TestParamInfo<Language>& info) {
  return info.param == Language::kEnglish ? "English" : "Chinese";
}

// A fake of the restart through pkexec.
class FakeRestart : public AdminRestart {
 public:
  bool lacksRights = true;
  bool starts = false;
  std::vector<QStringList> calls;
  bool LacksRights() const override { return lacksRights; }
  bool Restart(const QStringList& arguments, QString& why) override {
    calls.push_back(arguments);
    if (!starts) why = QStringLiteral("cancelled");
    return starts;
  }
};

TEST_P(Languages, EveryPageAndDialogHoldsItsTexts) {
  FakeRestart restart;
  GuiFixture gui({FixtureImage("disk.img")}, &restart);
  CKestrumDlg& window = *gui.window;
  ExpectTextsFit(In(window.MainMenu(), "main menu"));
  if (English()) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Varnel Data Recovery - Free Edition"));
    EXPECT_EQ(window.VersionLabel()->text(), QStringLiteral("Version: V" KESTRUM_VERSION));
    Shoot(&window, "01-main-menu-en.png");
  }

  auto about = WhenModal<CAboutDlg>([this](CAboutDlg* dialog) {
    ExpectTextsFit(In(dialog, "about"));
    dialog->accept();
  });
  window.MainMenu()->Button(0)->click();
  EXPECT_TRUE(*about);

  // The device page, with the volumes read behind the progress dialog, held
  // at the read gate while it is looked at.
  testing::CloseReadGate(FixtureImage("disk.img"), 0, std::uint64_t{1} << 40);
  auto progress = WhenModal<CProgressDlg>([this](CProgressDlg* dialog) {
    EXPECT_TRUE(WaitFor([] { return testing::ReadsHeldAtGate() > 0; }));
    ExpectTextsFit(In(dialog, "progress"));
    testing::OpenReadGate();
  });
  gui.ChooseFunction(1);
  testing::OpenReadGate();
  EXPECT_TRUE(*progress);
  CDevSelDlg* page = window.DevSel();
  ASSERT_GT(page->Table()->rowCount(), 0);
  EXPECT_TRUE(page->findChild<QPushButton*>(QStringLiteral("restartAsAdmin"))->isVisible());
  ExpectTextsFit(In(page, "device page, volumes"));
  auto settings = WhenModal<CDiskScanSetDlg>([this](CDiskScanSetDlg* dialog) {
    ExpectTextsFit(In(dialog, "scan settings"));
    dialog->reject();
  });
  page->EditScanSettings();
  EXPECT_TRUE(*settings);

  page->Table()->selectRow(0);
  page->Next();
  ASSERT_EQ(window.CurrentPage(), PageId::kBrowser);
  ExpectTextsFit(In(window.Fdr(), "browser"));
  if (English()) Shoot(&window, "04-browser-deleted-files-en.png");
  auto* list = window.Fdr()->findChild<CExplorerListCtrl*>();
  ASSERT_NE(list, nullptr);
  // The preview pane on the first file that shows something, and the filter
  // bar's message on a size it cannot read.
  window.Fdr()->PreviewButton()->click();
  CPreviewPane* pane = window.Fdr()->Preview();
  for (int row = 0; row < list->RowCount() && pane->CurrentMode() == CPreviewPane::Mode::kEmpty; ++row) {
    list->SelectRow(row);
    EXPECT_TRUE(WaitFor([pane] { return !pane->Loading(); }));
  }
  EXPECT_NE(pane->CurrentMode(), CPreviewPane::Mode::kEmpty);
  auto* minSize = window.Fdr()->findChild<QLineEdit*>(QStringLiteral("filterMinSize"));
  ASSERT_NE(minSize, nullptr);
  minSize->setText(QStringLiteral("10Q"));
  auto* filterMessage = window.Fdr()->findChild<QLabel*>(QStringLiteral("filterMessage"));
  ASSERT_NE(filterMessage, nullptr);
  EXPECT_TRUE(WaitFor([filterMessage] { return filterMessage->isVisible() && !filterMessage->text().isEmpty(); }));
  ExpectTextsFit(In(window.Fdr(), "browser, preview and filter"));
  minSize->clear();
  window.Fdr()->PreviewButton()->click();
  std::unique_ptr<QMenu> menu(list->BuildContextMenu());
  for (QAction* action : menu->actions()) {
    if (English()) {
      EXPECT_FALSE(HasChinese(action->text())) << action->text().toStdString();
    }
  }

  window.SelectMode(5);
  ExpectTextsFit(In(page, "device page, disks"));
  // "创建镜像文件…" of the disk: its progress dialog, then its summary among
  // the boxes checked below.
  TempDir dir;
  gui.choosers.imageTarget = FromUtf8(dir.File("copy.img"));
  page->Table()->selectRow(0);
  auto imaging = WhenModal<CProgressDlg>([this](CProgressDlg* dialog) {
    WaitFor([dialog] { return !dialog->Line(0)->text().isEmpty(); }, 5000);
    ExpectTextsFit(In(dialog, "imaging progress"));
  });
  page->findChild<QPushButton*>(QStringLiteral("createImage"))->click();
  EXPECT_TRUE(*imaging);
  ASSERT_FALSE(gui.boxes.shown.empty());
  EXPECT_NE(gui.boxes.shown.back().find(English() ? u"The image file is complete" : u"镜像文件创建完成"),
            std::u16string::npos)
      << ToUtf8(gui.boxes.shown.back());
  window.ShowPage(PageId::kRepair);
  ExpectTextsFit(In(window.PartFix(), "repair page"));
  EXPECT_TRUE(gui.boxes.asked.empty());
  for (const std::u16string& text : gui.boxes.shown) {
    if (English()) {
      EXPECT_FALSE(HasChinese(Q(text))) << ToUtf8(text);
    }
  }
}

TEST_P(Languages, TheUndoDialogHoldsItsTexts) {
  TempDir dir;
  GuiFixture gui({});
  repair::RepairHistory history;
  repair::RebuildRecord record;
  record.time = u"2026-12-09 01:00:00";
  record.sectors.resize(1);
  repair::AddRebuildRecord(history, u"small.img", record);
  VolumeDescriptor device;
  device.diskDescription = u"small.img";
  BoxPrompts prompts(gui.boxes);
  CUnFixPartDlg dialog(history.devices[0], device, dir.File("FixPartTable.dat"), prompts, gui.window.get());
  dialog.show();
  ExpectTextsFit(In(&dialog, "undo dialog"));
}

// Every text a box can show, in the box the program shows it in.
TEST_P(Languages, EveryMessageFitsItsBox) {
  std::vector<std::u16string> texts;
  for (const CatalogEntry& entry : EnglishCatalog()) {
    const std::u16string text = English() ? FromUtf8(entry.english) : FromUtf8(entry.chinese);
    if (text.size() > 24) texts.push_back(text);
  }
  // The desktop program's own boxes.
  const std::pair<const char*, const char*> own[] = {
      {"kestrum", "所选的文件夹位于正在恢复数据的设备上。\n向这个设备写入文件，可能会覆盖尚未恢复的已删除数据，"
                  "使其再也无法恢复。\n建议选择其他磁盘上的文件夹。仍然要导出到这个文件夹吗？"},
      {"kestrum::CDevSelDlg", "未发现磁盘设备，请确定磁盘设备正确连接电脑，然后点击刷新按钮!"},
      {"kestrum", "请至少选择一个需要导出的目录和文件!"}};
  for (const auto& [context, source] : own) {
    texts.push_back(QCoreApplication::translate(context, source).toStdU16String());
  }
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  for (const std::u16string& text : texts) {
    auto ran = WhenModal<QMessageBox>([&](QMessageBox* box) {
      auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      ASSERT_NE(label, nullptr);
      ExpectTextsFit(In(label->parentWidget(), ToUtf8(text)));
      EXPECT_LE(box->width(), box->screen()->availableGeometry().width());
      box->reject();
    });
    boxes.Information(text);
    ASSERT_TRUE(*ran);
  }
}

INSTANTIATE_TEST_SUITE_P(Both, Languages, ::testing::Values(Language::kChinese, Language::kEnglish), Name);

TEST(AdminRestart, TheDevicePageRestartsWithTheLanguageAndTheImagesAdded) {
  FakeRestart restart;
  GuiFixture gui({FixtureImage("disk.img")}, &restart);
  gui.ChooseFunction(1);
  auto* button = gui.window->DevSel()->findChild<QPushButton*>(QStringLiteral("restartAsAdmin"));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isVisible());
  EXPECT_EQ(button->text(), QStringLiteral("以管理员身份重新启动"));

  // The password not given: the window stays, and says so.
  button->click();
  ASSERT_EQ(restart.calls.size(), 1u);
  EXPECT_EQ(restart.calls[0], (QStringList{"--lang", "zh", "--images-only", Q(FromUtf8(FixtureImage("disk.img")))}));
  EXPECT_TRUE(gui.window->isVisible());
  ASSERT_FALSE(gui.boxes.shown.empty());
  EXPECT_EQ(gui.boxes.shown.back(), u"无法以管理员身份重新启动：cancelled");

  // Once the program with the rights has run, this one closes.
  restart.starts = true;
  button->click();
  EXPECT_EQ(restart.calls.size(), 2u);
  EXPECT_FALSE(gui.window->isVisible());

  // With the rights already there, nothing is offered.
  restart.lacksRights = false;
  GuiFixture root({FixtureImage("disk.img")}, &restart);
  root.ChooseFunction(1);
  EXPECT_FALSE(root.window->DevSel()->findChild<QPushButton*>(QStringLiteral("restartAsAdmin"))->isVisible());
}

}  // namespace
}  // namespace kestrum::test
