#pragma once
// Running one long operation: the workers do the work and only report; a
// presenter (the GUI's progress dialog, the terminal line, a test) observes
// the shared worker state until the last worker has ended.

#include <functional>
#include <vector>

#include "run/worker_state.h"

namespace kestrum {

// What a presenter may do while an operation runs.
class ProgressSession {
 public:
  explicit ProgressSession(bool showPause) : showPause_(showPause) {}

  bool ShowPause() const { return showPause_; }
  // True once every worker of the operation has ended.
  bool WorkersDone() const { return TheWorkerState().liveWorkers.load() == 0; }
  // Waits up to `ms` milliseconds, less as soon as the workers are done, so
  // a short run is not held for a whole display tick; answers WorkersDone().
  bool WaitForWorkers(int ms) const;
  bool Take(StatusMessage& out) const { return TakeStatus(out); }
  void Abort() const { RequestAbort(); }    // "退出"
  void Finish() const { RequestFinish(); }  // "暂停"

 private:
  bool showPause_;
};

class ProgressPresenter {
 public:
  virtual ~ProgressPresenter() = default;
  // Shows the operation until session.WorkersDone(): refreshes every 100 ms
  // and returns as soon as the workers end (ProgressSession::WaitForWorkers).
  virtual void Present(ProgressSession& session) = 0;
};

// Prepares the shared state for a new operation: false (and nothing changed)
// while another operation's progress display exists.
bool ResetWorkerState(bool showPause);
// Releases the guard taken by ResetWorkerState.
void EndProgressSession();

// Starts the workers, presents them, and answers whether the run state ended
// at "finished". Each worker is counted from before its thread starts, so the
// presenter can never see a zero count before the worker has registered.
bool RunWorkersWithProgress(const std::vector<std::function<void()>>& workers, bool showPause,
                            ProgressPresenter& presenter);

bool RunWithProgress(const std::function<void()>& worker, bool showPause,
                     ProgressPresenter& presenter);

// A presenter that only waits: for scripts without a display, and tests.
class SilentPresenter : public ProgressPresenter {
 public:
  void Present(ProgressSession& session) override;
};

constexpr int kProgressTickMs = 100;

}  // namespace kestrum
