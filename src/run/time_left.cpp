#include "run/time_left.h"

#include <cmath>

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum {

namespace {

double SecondsBetween(TimeLeftEstimator::Clock::time_point a, TimeLeftEstimator::Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

void TimeLeftEstimator::Observe(std::uint64_t done, std::uint64_t total, Clock::time_point now) {
  if (!started_ || total != total_ || done < done_) {
    started_ = true;
    first_ = last_ = lastChange_ = now;
    firstDone_ = done_ = done;
    total_ = total;
    rate_ = -1;
    return;
  }
  const double dt = SecondsBetween(last_, now);
  if (dt <= 0) {
    if (done != done_) lastChange_ = now;
    done_ = done;
    return;
  }
  if (rate_ < 0) {
    // The first estimate is the average since the start: a single sample
    // of a bursty reader says little.
    const double elapsed = SecondsBetween(first_, now);
    if (elapsed >= kWarmUpSeconds && done > firstDone_) rate_ = static_cast<double>(done - firstDone_) / elapsed;
  } else {
    const double sample = static_cast<double>(done - done_) / dt;
    const double weight = 1 - std::exp(-dt / kSmoothingSeconds);
    rate_ += weight * (sample - rate_);
  }
  if (done != done_) lastChange_ = now;
  last_ = now;
  done_ = done;
}

void TimeLeftEstimator::Idle(Clock::time_point now) {
  if (started_ && SecondsBetween(lastChange_, now) > kStallSeconds) {
    const Clock::time_point changed = lastChange_;
    Observe(done_, total_, now);
    lastChange_ = changed;  // still the last time anything moved
  }
}

double TimeLeftEstimator::SecondsLeft() const {
  return Ready() ? static_cast<double>(total_ - done_) / rate_ : 0;
}

std::u16string DurationText(double seconds) {
  if (seconds < 10) return Tr(u"不到 10 秒");
  if (seconds < 60) return TrFormat("约 %d 秒", static_cast<int>(std::lround(seconds / 5)) * 5);
  if (seconds < 3600) {
    const long rounded = std::lround(seconds / 10) * 10;
    if (rounded % 60 == 0) return TrFormat("约 %ld 分", rounded / 60);
    return TrFormat("约 %ld 分 %ld 秒", rounded / 60, rounded % 60);
  }
  if (seconds >= 100 * 3600.0) return Tr(u"超过 99 小时");
  const long minutes = std::lround(seconds / 60);
  return TrFormat("约 %ld 小时 %ld 分", minutes / 60, minutes % 60);
}

std::u16string ByteRateText(double bytesPerSecond) {
  const double mib = bytesPerSecond / (1 << 20);
  if (mib >= 1024) return FormatText("%.1f GB/s", mib / 1024);
  if (mib >= 1) return FormatText("%.1f MB/s", mib);
  return FormatText("%.0f KB/s", bytesPerSecond / 1024);
}

}  // namespace kestrum
