#include "cli/terminal_presenter.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "base/text.h"
#include "platform/console.h"

namespace kestrum::cli {

namespace {

void OnInterrupt() { RequestAbort(); }

std::atomic<int> scanInterrupts{0};

void OnScanInterrupt() {
  if (scanInterrupts.fetch_add(1) == 0) {
    RequestFinish();
  } else {
    RequestAbort();
  }
}

}  // namespace

void InstallInterruptHandler() { platform::OnInterrupt(OnInterrupt); }

void InstallScanInterruptHandler() {
  scanInterrupts.store(0);
  platform::OnInterrupt(OnScanInterrupt);
}

bool WantProgress(bool requested) { return requested || platform::IsTerminal(platform::Stream::kErr); }

void TerminalPresenter::Draw() {
  if (!draw_) return;
  const ProgressLines& lines = tracker_.Lines();
  std::u16string text = lines.heading;
  for (const std::u16string* line : {&lines.line1, &lines.line2, &lines.line3, &lines.line4, &lines.timeLeft}) {
    if (!line->empty()) text += u"  " + *line;
  }
  std::fprintf(stderr, "\r%s\033[K", ToUtf8(text).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalPresenter::Present(ProgressSession& session) {
  StatusMessage message;
  for (;;) {
    bool done = session.WorkersDone();
    const auto now = ProgressTracker::Clock::now();
    if (session.Take(message) ? tracker_.Apply(message, now) : tracker_.Idle(now)) Draw();
    if (done) break;
    session.WaitForWorkers(kProgressTickMs);
  }
  if (drawn_) std::fprintf(stderr, "\n");
}

}  // namespace kestrum::cli
