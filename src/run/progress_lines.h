#pragma once
// The five text lines of the progress display, and how each kind of status
// message rewrites them. Shared by the dialog and the terminal line.

#include <string>

#include "run/time_left.h"
#include "run/worker_state.h"

namespace kestrum {

struct ProgressLines {
  std::u16string heading;  // the top line
  std::u16string line1;
  std::u16string line2;
  std::u16string line3;
  std::u16string line4;
  // "速度： 85.3 MB/s    剩余时间： 约 3 分 20 秒" once a long task's rate can
  // be told; empty before, and for tasks whose total is not known.
  std::u16string timeLeft;
};

// Rewrites the lines that `message`'s kind owns; other lines stay as they were.
// Returns false for messages that show nothing.
bool ApplyStatus(const StatusMessage& message, ProgressLines& lines);

// The lines of one operation's display with the rate and time left: the
// dialog and the terminal line each keep one and feed it what they take.
class ProgressTracker {
 public:
  using Clock = TimeLeftEstimator::Clock;

  // Rewrites the lines the message owns and, from its counts, the rate line.
  // False for messages that show nothing.
  bool Apply(const StatusMessage& message, Clock::time_point now);
  // A look at `now` without a new message; true when the rate line changed.
  bool Idle(Clock::time_point now);
  const ProgressLines& Lines() const { return lines_; }

 private:
  bool UpdateTimeLeft();

  ProgressLines lines_;
  TimeLeftEstimator estimator_;
  StatusKind kind_ = StatusKind::kNone;  // the kind the estimate counts
  bool bytes_ = true;                    // its unit: bytes, or records
};

}  // namespace kestrum
