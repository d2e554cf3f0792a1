#pragma once
#include "run/worker_state.h"

namespace kestrum::test {

// A clean run: state "running" and an empty status slot, as before an operation.
inline void PrepareRun() {
  TheWorkerState().runState.store(RunState::kRunning);
  TheWorkerState().ClearSlot();
}

}  // namespace kestrum::test
