#pragma once
// Helpers for driving the desktop program's real widgets offscreen: fakes
// for the boxes and choosers, and a way to act inside a modal dialog.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/kestrum_dlg.h"
#include "gui/message_boxes.h"

namespace kestrum {
class AdminRestart;
}

namespace kestrum::test {

// Records every text; answers questions with `answer`.
class RecordingBoxes : public MessageBoxes {
 public:
  std::vector<std::u16string> shown;
  std::vector<std::u16string> asked;
  bool answer = false;
  // Called while a box would be up (e.g. to check what is on screen).
  std::function<void(const std::u16string&)> onShown;

  void Information(const std::u16string& text) override {
    shown.push_back(text);
    if (onShown) onShown(text);
  }
  std::vector<DefaultAnswer> defaults;  // of each question asked
  // The recommended option, or `choice` when set.
  std::vector<std::u16string> chosen;
  std::optional<int> choice;
  int Choose(const std::u16string& text, const std::vector<std::u16string>&, int recommended) override {
    chosen.push_back(text);
    return choice ? *choice : recommended;
  }

 protected:
  bool Ask(const std::u16string& text, DefaultAnswer preselected) override {
    asked.push_back(text);
    defaults.push_back(preselected);
    return answer;
  }
};

// Answers the folder chooser with `folder` (nullopt: cancelled).
class ScriptedChoosers : public FileChoosers {
 public:
  std::optional<std::u16string> folder;
  std::vector<std::u16string> images;
  int folderCalls = 0;

  bool ChooseTargetFolder(std::u16string& out) override {
    ++folderCalls;
    if (!folder) return false;
    out = *folder;
    return true;
  }
  bool ChooseImageFiles(std::vector<std::u16string>& out) override {
    if (images.empty()) return false;
    out = images;
    return true;
  }
  std::optional<std::u16string> imageTarget;
  bool ChooseImageTarget(const std::u16string&, std::u16string& out) override {
    if (!imageTarget) return false;
    out = *imageTarget;
    return true;
  }
};

// Runs `action` on the first modal dialog of type T that comes up, from
// inside its event loop; call before the code that opens the dialog.
// Returns a flag that tells afterwards whether the action ran.
template <typename T>
std::shared_ptr<bool> WhenModal(std::function<void(T*)> action, int timeoutMs = 20000) {
  auto ran = std::make_shared<bool>(false);
  auto* timer = new QTimer;
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, ran, action, clock, timeoutMs] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      *ran = true;
      action(dialog);
    } else if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(5);
  return ran;
}

// Processes events until `done` or the time is up.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000);

// Holds every read of `image` at the read gate; once the progress dialog is up
// and its worker waits at the gate, presses "退出" and opens the gate. So the
// quit lands while the worker runs, however fast or slow the machine is.
// Returns whether the press happened; call before the code that opens the dialog.
std::shared_ptr<bool> QuitWhileTheWorkerWaits(const std::string& image);

// A main window on the fixture images, with recording boxes and scripted
// choosers, shown offscreen.
struct GuiFixture {
  RecordingBoxes boxes;
  ScriptedChoosers choosers;
  std::unique_ptr<CKestrumDlg> window;

  // `restart` stands for the restart through pkexec (left null: the real one).
  explicit GuiFixture(const std::vector<std::string>& images, AdminRestart* restart = nullptr);
  // Presses the main-menu button of `mode` (1–5).
  void ChooseFunction(int mode);
};

QString Q(const std::u16string& text);
// With KESTRUM_SCREENSHOT_DIR=docs, saves a picture of `widget` there: the
// pictures of docs/ that show a state the tests build.
void Shoot(QWidget* widget, const char* name);

// The label's text laid out in the label's own width needs no more room than
// the label has (within a pixel's rounding: a cut text lacks whole lines or
// characters), measured with the label's font.
void ExpectLabelHoldsItsText(const QLabel* label);
std::string FixtureImage(const std::string& name);

}  // namespace kestrum::test

#include <ostream>
#include <QString>
// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
