// The scan settings dialog and the page's GiB ↔ sector conversion.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <limits>

#include "gui/dev_sel_dlg.h"
#include "run/scan_settings.h"
#include "gui_test_support.h"
#include "gui/disk_scan_set_dlg.h"

namespace kestrum::test {
namespace {

QPushButton* Ok(CDiskScanSetDlg* dialog) { return dialog->findChild<QPushButton*>(QStringLiteral("ok")); }
QPushButton* Cancel(CDiskScanSetDlg* dialog) {
  return dialog->findChild<QPushButton*>(QStringLiteral("cancel"));
}

// Opens the page's dialog and runs `inside` in it.
bool EditOnPage(CDevSelDlg* page, const std::function<void(CDiskScanSetDlg*)>& inside) {
  auto ran = WhenModal<CDiskScanSetDlg>(inside);
  page->EditScanSettings();
  return *ran;
}

TEST(ScanSettings, OneAndAHalfGibStoresItsSectorsAndReopensAsOnePointFive) {
  GuiFixture gui({FixtureImage("disk.img")});
  gui.ChooseFunction(3);
  CDevSelDlg* page = gui.window->DevSel();
  QString shownAddress;
  QString shownSize;
  ASSERT_TRUE(EditOnPage(page, [&](CDiskScanSetDlg* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("设置搜索参数"));
    shownAddress = dialog->AddressEdit()->text();
    shownSize = dialog->SizeEdit()->text();
    dialog->AddressEdit()->setText(QStringLiteral(" 0.25 "));
    dialog->SizeEdit()->setText(QStringLiteral("1.5"));
    Ok(dialog)->click();
  }));
  EXPECT_EQ(shownAddress, QStringLiteral("0"));
  EXPECT_EQ(shownSize, QStringLiteral("0"));
  EXPECT_EQ(page->PriorityStart(), 524288u);
  EXPECT_EQ(page->PriorityLength(), 3145728u);

  ASSERT_TRUE(EditOnPage(page, [&](CDiskScanSetDlg* dialog) {
    shownAddress = dialog->AddressEdit()->text();
    shownSize = dialog->SizeEdit()->text();
    dialog->SizeEdit()->setText(QStringLiteral("9"));
    Cancel(dialog)->click();  // nothing changes
  }));
  EXPECT_EQ(shownAddress, QStringLiteral("0.25"));
  EXPECT_EQ(shownSize, QStringLiteral("1.5"));
  EXPECT_EQ(page->PriorityLength(), 3145728u);
  EXPECT_TRUE(gui.boxes.shown.empty());
}

TEST(ScanSettings, TextThatIsNotANumberKeepsTheDialogOpenOnThatEdit) {
  GuiFixture gui({FixtureImage("disk.img")});
  gui.ChooseFunction(3);
  CDevSelDlg* page = gui.window->DevSel();
  bool stayedOpen = false;
  bool focusOnSize = false;
  ASSERT_TRUE(EditOnPage(page, [&](CDiskScanSetDlg* dialog) {
    dialog->AddressEdit()->setText(QStringLiteral("2"));
    dialog->SizeEdit()->setText(QStringLiteral("1.5x"));
    Ok(dialog)->click();
    stayedOpen = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
    focusOnSize = dialog->focusWidget() == dialog->SizeEdit();
    dialog->SizeEdit()->setText(QString());  // empty is no number either
    Ok(dialog)->click();
    dialog->SizeEdit()->setText(QStringLiteral("1"));
    Ok(dialog)->click();
  }));
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(focusOnSize);
  EXPECT_EQ(gui.boxes.shown, std::vector<std::u16string>({u"Enter a number.", u"Enter a number."}));
  // Only the accepted pair arrives.
  EXPECT_EQ(page->PriorityStart(), 4194304u);
  EXPECT_EQ(page->PriorityLength(), 2097152u);
}

TEST(ScanSettings, ConversionsTruncateAndReachPast2TiB) {
  EXPECT_EQ(GibToSectors(1.5f), 3145728u);
  EXPECT_FLOAT_EQ(SectorsToGib(3145728u), 1.5f);
  // Below one MiB the sector count is cut to whole MiB first.
  EXPECT_FLOAT_EQ(SectorsToGib(2047u), 0.0f);
  EXPECT_EQ(GibToSectors(1e-7f), 0u);                 // 0.2 sectors
  EXPECT_EQ(GibToSectors(-1.5f), 0u);                 // before the disk: its start
  EXPECT_EQ(GibToSectors(2048.0f), 4294967296u);      // 2^32 sectors
  EXPECT_EQ(GibToSectors(2048.5f), 4296015872u);
  EXPECT_EQ(GibToSectors(2500.0f), 5242880000u);      // on a 3 TiB disk
  EXPECT_FLOAT_EQ(SectorsToGib(5242880000u), 2500.0f);
  EXPECT_EQ(GibToSectors(std::numeric_limits<float>::infinity()), 0u);
  EXPECT_EQ(GibToSectors(std::nanf("")), 0u);
  EXPECT_EQ(GibToSectors(3.0e38f), UINT64_MAX);       // huge, but defined

  EXPECT_EQ(FormatEditFloat(465.76123f), "465.761");
  EXPECT_EQ(FormatEditFloat(0.0f), "0");
  float value = 0;
  EXPECT_TRUE(ParseEditFloat("\t1e3 ", value));
  EXPECT_FLOAT_EQ(value, 1000.0f);
  EXPECT_FALSE(ParseEditFloat("1,5", value));
  EXPECT_FALSE(ParseEditFloat("  ", value));
  EXPECT_FALSE(ParseEditFloat("1.5 2", value));
}

}  // namespace
}  // namespace kestrum::test
