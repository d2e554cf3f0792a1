#include "run/progress_runner.h"

#include <chrono>
#include <thread>

namespace kestrum {

namespace {
constexpr int kWorkerPollMs = 2;
}  // namespace

bool ProgressSession::WaitForWorkers(int ms) const {
  for (int waited = 0; waited < ms && !WorkersDone(); waited += kWorkerPollMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kWorkerPollMs));
  }
  return WorkersDone();
}

bool ResetWorkerState(bool /*showPause*/) {
  WorkerState& state = TheWorkerState();
  bool expected = false;
  if (!state.progressOpen.compare_exchange_strong(expected, true)) return false;
  state.ClearSlot();
  state.runState.store(RunState::kRunning);
  return true;
}

void EndProgressSession() { TheWorkerState().progressOpen.store(false); }

bool RunWorkersWithProgress(const std::vector<std::function<void()>>& workers, bool showPause,
                            ProgressPresenter& presenter) {
  if (!ResetWorkerState(showPause)) return false;
  WorkerState& state = TheWorkerState();
  std::vector<std::thread> threads;
  threads.reserve(workers.size());
  for (const auto& worker : workers) {
    state.liveWorkers.fetch_add(1);  // held until the procedure returns
    threads.emplace_back([&state, worker] {
      worker();
      state.liveWorkers.fetch_sub(1);
    });
  }
  ProgressSession session(showPause);
  presenter.Present(session);
  for (auto& thread : threads) thread.join();
  bool finished = state.runState.load() == RunState::kFinished;
  EndProgressSession();
  return finished;
}

bool RunWithProgress(const std::function<void()>& worker, bool showPause,
                     ProgressPresenter& presenter) {
  return RunWorkersWithProgress({worker}, showPause, presenter);
}

void SilentPresenter::Present(ProgressSession& session) {
  StatusMessage message;
  while (!session.WaitForWorkers(kProgressTickMs)) session.Take(message);
  session.Take(message);
}

}  // namespace kestrum
