#pragma once
// The small modal dialog every long operation runs behind: five lines of
// the latest status message, the rate and time left where they can be told,
// "退出", and "暂停" for the deep scan. It shows
// the shared worker state every 100 ms and closes itself as soon as the last
// worker has ended.

#include <QDialog>
#include <QTimer>

#include <array>

#include "run/progress_lines.h"
#include "run/progress_runner.h"

class QLabel;
class QPushButton;

namespace kestrum {

class CProgressDlg : public QDialog {
  Q_OBJECT

 public:
  CProgressDlg(ProgressSession& session, QWidget* parent);

  // 0 is the heading, 1–4 the lines below it, 5 the rate and time left.
  QLabel* Line(int index) const { return labels_[static_cast<std::size_t>(index)]; }
  QPushButton* QuitButton() const { return quit_; }
  QPushButton* PauseButton() const { return pause_; }

 public slots:
  void reject() override;  // Escape and the close button ask to stop, as "退出" does

 private slots:
  void Tick();
  void OnQuit();
  void OnPause();

 private:
  ProgressSession& session_;
  ProgressTracker tracker_;
  std::array<QLabel*, 6> labels_{};
  QPushButton* quit_ = nullptr;
  QPushButton* pause_ = nullptr;
  QTimer timer_;
  QTimer doneTimer_;  // looks for the end far more often than the lines change
};

// Shows CProgressDlg for the whole of an operation started by RunWithProgress.
class QtProgressPresenter : public ProgressPresenter {
 public:
  explicit QtProgressPresenter(QWidget* owner) : owner_(owner) {}
  void Present(ProgressSession& session) override;

 private:
  QWidget* owner_;
};

}  // namespace kestrum
