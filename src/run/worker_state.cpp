#include "run/worker_state.h"

#include <cstdio>
#include <cstdlib>

#include "platform/process.h"

namespace kestrum {

WorkerState& TheWorkerState() {
  static WorkerState state;
  return state;
}

void WorkerState::Post(const StatusMessage& message) {
  std::lock_guard<std::mutex> lock(statusLock_);
  slot_ = message;
}

bool WorkerState::Take(StatusMessage& out) {
  std::lock_guard<std::mutex> lock(statusLock_);
  if (slot_.kind == StatusKind::kNone) return false;
  out = slot_;
  slot_.kind = StatusKind::kNone;
  return true;
}

void WorkerState::ClearSlot() {
  std::lock_guard<std::mutex> lock(statusLock_);
  slot_ = StatusMessage{};
}

namespace {

// Thread begin/end lines go to stderr only when KESTRUM_TRACE is set.
void TraceWorker(const char* threadName, const char* what, int count) {
  static const bool enabled = std::getenv("KESTRUM_TRACE") != nullptr;
  if (!enabled) return;
  std::fprintf(stderr, "%s     Thread %ld %s! Thread num=%d  \n", threadName,
               static_cast<long>(platform::CurrentThreadId()), what, count);
}

}  // namespace

void BeginWorker(const char* threadName) {
  int count = TheWorkerState().liveWorkers.fetch_add(1) + 1;
  TraceWorker(threadName, "begin", count);
}

void EndWorker(const char* threadName) {
  int count = TheWorkerState().liveWorkers.fetch_sub(1) - 1;
  TraceWorker(threadName, "end", count);
}

void PostStatus(const StatusMessage& message) { TheWorkerState().Post(message); }

bool TakeStatus(StatusMessage& out) { return TheWorkerState().Take(out); }

void RequestAbort() { TheWorkerState().runState.store(RunState::kAbort); }

void RequestFinish() {
  RunState expected = RunState::kRunning;
  TheWorkerState().runState.compare_exchange_strong(expected, RunState::kFinished);
}

}  // namespace kestrum
