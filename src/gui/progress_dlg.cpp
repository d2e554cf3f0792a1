#include "gui/progress_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt_dialogs.h"

namespace kestrum {

namespace {
constexpr int kDonePollMs = 5;
}  // namespace

CProgressDlg::CProgressDlg(ProgressSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setWindowTitle(tr("请稍候 - %1").arg(ProductCaption()));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    labels_[i] = new QLabel(this);
    labels_[i]->setMinimumWidth(440);
    labels_[i]->setTextFormat(Qt::PlainText);
    labels_[i]->setObjectName(QStringLiteral("progressLine"));  // what the worker reports
    layout->addWidget(labels_[i]);
  }
  QFont heading = labels_[0]->font();
  heading.setBold(true);
  labels_[0]->setFont(heading);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  quit_ = new QPushButton(tr("退出"), this);
  pause_ = new QPushButton(tr("暂停"), this);
  quit_->setAutoDefault(false);
  pause_->setAutoDefault(false);
  buttons->addWidget(pause_);
  buttons->addWidget(quit_);
  layout->addLayout(buttons);
  pause_->setVisible(session_.ShowPause());
  connect(quit_, &QPushButton::clicked, this, &CProgressDlg::OnQuit);
  connect(pause_, &QPushButton::clicked, this, &CProgressDlg::OnPause);
  connect(&timer_, &QTimer::timeout, this, &CProgressDlg::Tick);
  timer_.start(kProgressTickMs);
  // A short read (a volume of a few thousand files) is not held for a whole tick.
  connect(&doneTimer_, &QTimer::timeout, this, [this] {
    if (session_.WorkersDone()) Tick();
  });
  doneTimer_.start(kDonePollMs);
}

void CProgressDlg::Tick() {
  if (session_.WorkersDone()) {
    timer_.stop();
    doneTimer_.stop();
    accept();
  }
  StatusMessage message;
  const auto now = ProgressTracker::Clock::now();
  if (session_.Take(message) ? !tracker_.Apply(message, now) : !tracker_.Idle(now)) return;
  const ProgressLines& lines = tracker_.Lines();
  const std::u16string* texts[] = {&lines.heading, &lines.line1, &lines.line2, &lines.line3,
                                   &lines.line4, &lines.timeLeft};
  for (std::size_t i = 0; i < labels_.size(); ++i) labels_[i]->setText(ToQString(*texts[i]));
}

void CProgressDlg::OnQuit() {
  session_.Abort();
  quit_->setEnabled(false);
  pause_->setEnabled(false);
}

void CProgressDlg::OnPause() {
  session_.Finish();
  quit_->setEnabled(false);
  pause_->setEnabled(false);
}

void CProgressDlg::reject() {
  // Closing before the workers end would leave them running unseen.
  if (quit_->isEnabled()) OnQuit();
}

void QtProgressPresenter::Present(ProgressSession& session) {
  CProgressDlg dialog(session, owner_);
  dialog.exec();
}

}  // namespace kestrum
