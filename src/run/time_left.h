#pragma once
// The rate of a long task and the time it has left, from the counts of work
// done and to do that its status messages carry. The rate is smoothed, so
// the figures do not jump with every block read, and nothing is estimated
// until the task has run for a moment.

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrum {

class TimeLeftEstimator {
 public:
  using Clock = std::chrono::steady_clock;

  // Work done and to do, in any unit, at `now`. A total that changes or a
  // count that goes back starts the estimate afresh (another phase).
  void Observe(std::uint64_t done, std::uint64_t total, Clock::time_point now);
  // A look without a new count: a task that has not moved for a while is
  // slowing down (a disk retrying a bad sector), and the rate follows.
  void Idle(Clock::time_point now);
  void Reset() { *this = TimeLeftEstimator{}; }

  // Enough seen to estimate, and work left.
  bool Ready() const { return rate_ > 0 && done_ < total_; }
  double UnitsPerSecond() const { return rate_ > 0 ? rate_ : 0; }
  double SecondsLeft() const;

  static constexpr double kWarmUpSeconds = 2;     // before the first estimate
  static constexpr double kSmoothingSeconds = 5;  // how fast the rate follows a change
  static constexpr double kStallSeconds = 2;      // no new count for this long: no progress

 private:
  bool started_ = false;
  Clock::time_point first_, last_, lastChange_;
  std::uint64_t firstDone_ = 0, done_ = 0, total_ = 0;
  double rate_ = -1;  // units per second; below 0 until warmed up
};

// "约 3 分 20 秒", "约 2 小时 5 分", "不到 10 秒": rounded, so the text
// does not change with every look.
std::u16string DurationText(double seconds);
// "85.3 MB/s" for bytes per second.
std::u16string ByteRateText(double bytesPerSecond);

}  // namespace kestrum
