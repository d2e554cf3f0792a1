#pragma once
// The command line's progress display: one line on stderr, redrawn every
// 100 ms with the texts of the progress dialog. Ctrl-C asks the workers to
// stop, as "退出" does.

#include "run/progress_lines.h"
#include "run/progress_runner.h"

namespace kestrum::cli {

class TerminalPresenter : public ProgressPresenter {
 public:
  // Draws only when `draw` is set (stderr is a terminal, or --progress).
  explicit TerminalPresenter(bool draw) : draw_(draw) {}
  void Present(ProgressSession& session) override;

  const ProgressLines& Lines() const { return tracker_.Lines(); }

 private:
  void Draw();

  bool draw_;
  bool drawn_ = false;
  ProgressTracker tracker_;
};

// SIGINT and SIGTERM request an abort instead of killing the process.
void InstallInterruptHandler();
// For the deep scan: the first SIGINT or SIGTERM stops the scan and keeps
// what was found ("暂停"), the second aborts it ("退出").
void InstallScanInterruptHandler();
// Whether progress should be drawn: stderr is a terminal, or asked for.
bool WantProgress(bool requested);

}  // namespace kestrum::cli
