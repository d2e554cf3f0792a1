#include "gui_test_support.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>

#include "platform/fault_injection.h"
#include "gui/main_menu_dlg.h"
#include "gui/progress_dlg.h"
#include "base/text.h"
#include "support/fixtures.h"

namespace kestrum::test {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

GuiFixture::GuiFixture(const std::vector<std::string>& images, AdminRestart* restart) {
  MainWindowOptions options;
  options.systemDisks = false;  // the test machine's own disks are no business of the tests
  for (const std::string& image : images) options.images.push_back(FromUtf8(image));
  options.boxes = &boxes;
  options.choosers = &choosers;
  options.restart = restart;
  window = std::make_unique<CKestrumDlg>(options);
  window->show();
}

void GuiFixture::ChooseFunction(int mode) { window->MainMenu()->Button(mode)->click(); }

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

void ExpectLabelHoldsItsText(const QLabel* label) {
  const QRect room = label->contentsRect();
  const QFontMetricsF metrics(label->font());
  const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
  const QRectF needed = metrics.boundingRect(QRectF(0, 0, room.width(), 1 << 20), flags, label->text());
  EXPECT_LT(needed.width(), room.width() + 1) << label->text().toStdString();
  EXPECT_LT(needed.height(), room.height() + 1) << label->text().toStdString();
}

void Shoot(QWidget* widget, const char* name) {
  const char* dir = std::getenv("KESTRUM_SCREENSHOT_DIR");
  if (dir != nullptr) widget->grab().save(QString::fromUtf8(dir) + "/" + name);
}

std::shared_ptr<bool> QuitWhileTheWorkerWaits(const std::string& image) {
  testing::CloseReadGate(image, 0, std::uint64_t{1} << 40);
  return WhenModal<CProgressDlg>([](CProgressDlg* dialog) {
    EXPECT_TRUE(WaitFor([] { return testing::ReadsHeldAtGate() > 0; })) << "the worker never read the image";
    dialog->QuitButton()->click();
    testing::OpenReadGate();
  });
}

std::string FixtureImage(const std::string& name) { return FixturePath(name); }

}  // namespace kestrum::test
