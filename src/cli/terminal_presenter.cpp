#include "cli/terminal_presenter.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "base/text.h"

namespace kestrum::cli {

namespace {

void OnInterrupt(int) { RequestAbort(); }

std::atomic<int> scanInterrupts{0};

void OnScanInterrupt(int) {
  if (scanInterrupts.fetch_add(1) == 0) {
    RequestFinish();
  } else {
    RequestAbort();
  }
}

void Install(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

void InstallInterruptHandler() { Install(OnInterrupt); }

void InstallScanInterruptHandler() {
  scanInterrupts.store(0);
  Install(OnScanInterrupt);
}

bool WantProgress(bool requested) { return requested || ::isatty(STDERR_FILENO) == 1; }

void TerminalPresenter::Draw() {
  if (!draw_) return;
  std::u16string text = lines_.heading;
  for (const std::u16string* line : {&lines_.line1, &lines_.line2, &lines_.line3, &lines_.line4}) {
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
    if (session.Take(message) && ApplyStatus(message, lines_)) Draw();
    if (done) break;
    session.WaitForWorkers(kProgressTickMs);
  }
  if (drawn_) std::fprintf(stderr, "\n");
}

}  // namespace kestrum::cli
