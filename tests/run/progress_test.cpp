#include "run/progress_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "run/progress_lines.h"
#include "run/time_left.h"
#include "base/text.h"
#include "support/run_state.h"

namespace kestrum {
namespace {

using namespace std::chrono_literals;

// Presses "退出" after its first tick, like an impatient user.
class AbortingPresenter : public ProgressPresenter {
 public:
  void Present(ProgressSession& session) override {
    session.Abort();
    while (!session.WorkersDone()) std::this_thread::sleep_for(1ms);
  }
};

// Records whether the workers were already gone at its very first look.
class FirstLookPresenter : public ProgressPresenter {
 public:
  bool doneAtFirstLook = true;
  void Present(ProgressSession& session) override {
    doneAtFirstLook = session.WorkersDone();
    while (!session.WorkersDone()) std::this_thread::sleep_for(1ms);
  }
};

TEST(RunWithProgress, AWorkerIsCountedBeforeItRegistersItself) {
  FirstLookPresenter presenter;
  bool ran = false;
  bool ok = RunWithProgress(
      [&] {
        std::this_thread::sleep_for(50ms);  // slow to start
        BeginWorker("Late");
        ran = true;
        RequestFinish();
        EndWorker("Late");
      },
      false, presenter);
  EXPECT_FALSE(presenter.doneAtFirstLook);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(ok);
}

// A presenter's wait ends with the workers, not at the end of its tick: it
// answers "not done" while the worker is held, and "done" once it ends,
// however long the tick it asked for.
TEST(RunWithProgress, WaitingForWorkersEndsWithThem) {
  std::atomic<bool> release{false};
  class Waiting : public ProgressPresenter {
   public:
    explicit Waiting(std::atomic<bool>& release) : release_(release) {}
    bool whileHeld = true, afterRelease = false;
    void Present(ProgressSession& session) override {
      whileHeld = session.WaitForWorkers(5);
      release_.store(true);
      afterRelease = session.WaitForWorkers(60 * 60 * 1000);
    }

   private:
    std::atomic<bool>& release_;
  } presenter(release);
  bool ok = RunWithProgress(
      [&] {
        while (!release.load()) std::this_thread::sleep_for(1ms);
        RequestFinish();
      },
      false, presenter);
  EXPECT_FALSE(presenter.whileHeld);
  EXPECT_TRUE(presenter.afterRelease);
  EXPECT_TRUE(ok);
}

TEST(RunWithProgress, AbortStopsALoopingWorkerAndAnswersFalse) {
  AbortingPresenter presenter;
  int loops = 0;
  bool ok = RunWithProgress(
      [&] {
        BeginWorker("Loop");
        while (!AbortRequested()) {
          ++loops;
          std::this_thread::sleep_for(1ms);
        }
        RequestFinish();  // must not turn the abort into success
        EndWorker("Loop");
      },
      false, presenter);
  EXPECT_FALSE(ok);
  EXPECT_EQ(CurrentRunState(), RunState::kAbort);
}

TEST(RunWithProgress, AWorkerThatEndsWithoutFinishingCountsAsFailure) {
  SilentPresenter presenter;
  EXPECT_FALSE(RunWithProgress([] {}, false, presenter));
}

TEST(RunWithProgress, ASecondOperationCannotStartWhileOneIsShown) {
  class NestingPresenter : public ProgressPresenter {
   public:
    bool nestedResult = true;
    bool nestedRan = false;
    void Present(ProgressSession& session) override {
      SilentPresenter inner;
      nestedResult = RunWithProgress([this] { nestedRan = true; }, false, inner);
      while (!session.WorkersDone()) std::this_thread::sleep_for(1ms);
    }
  } presenter;
  bool ok = RunWithProgress([] { RequestFinish(); }, false, presenter);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(presenter.nestedResult);
  EXPECT_FALSE(presenter.nestedRan);
  // And once the first has ended, the next may run.
  SilentPresenter again;
  EXPECT_TRUE(RunWithProgress([] { RequestFinish(); }, false, again));
}

TEST(RunWithProgress, ResetClearsALeftOverMessageAndTheOldOutcome) {
  test::PrepareRun();
  StatusMessage stale;
  stale.kind = StatusKind::kParse;
  PostStatus(stale);
  RequestAbort();
  ASSERT_TRUE(ResetWorkerState(false));
  StatusMessage m;
  EXPECT_FALSE(TakeStatus(m));
  EXPECT_EQ(CurrentRunState(), RunState::kRunning);
  EndProgressSession();
}

TEST(ProgressLines, EachKindWritesItsLines) {
  ProgressLines lines;
  StatusMessage m;
  m.kind = StatusKind::kParse;
  m.parse = {12, 3, 4, 1};
  ASSERT_TRUE(ApplyStatus(m, lines));
  EXPECT_EQ(lines.heading, u"正在解析磁盘上的文件，请耐心等候！");
  EXPECT_EQ(lines.line1, u"发现文件： 12");
  EXPECT_EQ(lines.line2, u"发现目录： 3");
  EXPECT_EQ(lines.line3, u"发现已删除文件： 4");
  EXPECT_EQ(lines.line4, u"发现已删除目录： 1");

  m = StatusMessage{};
  m.kind = StatusKind::kExport;
  m.exportStatus.filesToExport = 9;
  m.exportStatus.filesExported = 2;
  m.exportStatus.bytesToExport = 5ull << 30;  // beyond 32 bits of bytes
  m.exportStatus.bytesExported = (3ull << 20) + 5;
  m.exportStatus.currentFileBytes = 7ull << 20;
  m.exportStatus.currentFileCopied = 1ull << 20;
  CopyFixedText(m.exportStatus.currentName, u"报告.doc");
  ApplyStatus(m, lines);
  EXPECT_EQ(lines.line1, u"报告.doc");
  EXPECT_EQ(lines.line2, u"文件数： 2 / 9");
  EXPECT_EQ(lines.line3, u"总拷贝数据(MB)： 3 / 5120");
  EXPECT_EQ(lines.line4, u"当前文件拷贝数据(MB)： 1 / 7");
}

TEST(ProgressLines, ReadErrorEmptiesTheLowerLinesAndOthersKeepUnownedLines) {
  ProgressLines lines{u"h", u"1", u"2", u"3", u"4", u""};
  StatusMessage m;
  m.kind = StatusKind::kReadError;
  m.readError.sector = 4096;
  m.readError.count = 8;
  CopyFixedText(m.readError.device, u"/dev/sdb");
  ApplyStatus(m, lines);
  EXPECT_EQ(lines.heading, u"读磁盘数据出错！");
  EXPECT_EQ(lines.line1, u"读设备： /dev/sdb");
  EXPECT_EQ(lines.line2, u"地址： 4096        大小： 8  ");
  EXPECT_TRUE(lines.line3.empty());
  EXPECT_TRUE(lines.line4.empty());

  StatusMessage none;
  EXPECT_FALSE(ApplyStatus(none, lines));
  EXPECT_EQ(lines.line1, u"读设备： /dev/sdb");
}

TEST(ProgressLines, ScanNeverShowsMoreScannedThanTotal) {
  ProgressLines lines;
  StatusMessage m;
  m.kind = StatusKind::kScan;
  m.scan.sectorsToScan = 2048 * 10;
  m.scan.sectorsScanned = 2048 * 12;
  m.scan.extendedTables = 1;
  m.scan.fatBootSectors = 2;
  m.scan.ntfsBootSectors = 3;
  m.scan.exfatBootSectors = 4;
  ApplyStatus(m, lines);
  EXPECT_EQ(lines.line1, u"Find: 10(MB) / 10(MB)");
  EXPECT_EQ(lines.line3, u"Ebr: 1     Fat dbr: 2     Ntfs dbr: 3     Exfat dbr: 4 ");
}

TEST(ProgressLines, VolumeFoundShowsTheDeviceName) {
  ProgressLines lines;
  StatusMessage m;
  m.kind = StatusKind::kVolumeFound;
  m.volume.volumesFound = 3;
  CopyFixedText(m.volume.volumeName, u"sdb1");
  CopyFixedText(m.volume.fsName, u"NTFS");
  CopyFixedText(m.volume.label, u"本地磁盘");
  ApplyStatus(m, lines);
  EXPECT_EQ(lines.line1, u"发现分区数： 3");
  EXPECT_EQ(lines.line2, u"当前分区： sdb1");
  EXPECT_EQ(lines.line3, u"分区格式： NTFS");
  EXPECT_EQ(lines.line4, u"分区卷标： 本地磁盘");
}

// Feeds the estimator `rate` units a second for `seconds`, a sample every 100 ms.
void Feed(TimeLeftEstimator& e, TimeLeftEstimator::Clock::time_point& now, std::uint64_t& done,
         std::uint64_t total, double rate, double seconds) {
  for (int i = 0; i < static_cast<int>(seconds * 10); ++i) {
    now += 100ms;
    done += static_cast<std::uint64_t>(rate / 10);
    e.Observe(done, total, now);
  }
}

TEST(TimeLeft, WaitsForAMomentThenFollowsTheRateSmoothlyAndSlowsWithAStall) {
  TimeLeftEstimator e;
  TimeLeftEstimator::Clock::time_point now{};
  std::uint64_t done = 0;
  const std::uint64_t total = 100000;
  e.Observe(done, total, now);
  Feed(e, now, done, total, 100, 1.9);
  EXPECT_FALSE(e.Ready()) << "nothing told before the task has run a moment";
  Feed(e, now, done, total, 100, 0.2);
  ASSERT_TRUE(e.Ready());
  EXPECT_NEAR(e.UnitsPerSecond(), 100, 1);
  EXPECT_NEAR(e.SecondsLeft(), (total - done) / 100.0, 10);
  // Ten times faster: the rate moves towards it, not there at once.
  Feed(e, now, done, total, 1000, 1);
  EXPECT_GT(e.UnitsPerSecond(), 150);
  EXPECT_LT(e.UnitsPerSecond(), 500);
  Feed(e, now, done, total, 1000, 20);
  EXPECT_NEAR(e.UnitsPerSecond(), 1000, 20);
  // Stalled: looks without news slow the rate only after a while.
  const double before = e.UnitsPerSecond();
  now += 1s;
  e.Idle(now);
  EXPECT_EQ(e.UnitsPerSecond(), before);
  for (int i = 0; i < 50; ++i) {
    now += 100ms;
    e.Idle(now);
  }
  EXPECT_LT(e.UnitsPerSecond(), before / 2);
  EXPECT_GT(e.SecondsLeft(), (total - done) / before * 2);
  // Another phase (a new total) starts afresh; the end leaves nothing to tell.
  e.Observe(10, 50, now);
  EXPECT_FALSE(e.Ready());
  Feed(e, now, done = 10, 50, 10, 3);
  EXPECT_TRUE(e.Ready());
  Feed(e, now, done, 50, 10, 1);
  EXPECT_EQ(done, 50u);
  EXPECT_FALSE(e.Ready());
}

TEST(TimeLeft, DurationsAndRatesReadRounded) {
  const std::pair<double, const char16_t*> durations[] = {
      {3, u"不到 10 秒"},        {42, u"约 40 秒"},          {44, u"约 45 秒"},
      {200, u"约 3 分 20 秒"},   {598, u"约 10 分"},         {3599, u"约 60 分"},
      {3600 + 5 * 60, u"约 1 小时 5 分"}, {200 * 3600, u"超过 99 小时"}};
  for (const auto& [seconds, text] : durations) EXPECT_EQ(DurationText(seconds), text) << seconds;
  EXPECT_EQ(ByteRateText(85.3 * (1 << 20)), u"85.3 MB/s");
  EXPECT_EQ(ByteRateText(2.5 * (1 << 30)), u"2.5 GB/s");
  EXPECT_EQ(ByteRateText(300 * 1024), u"300 KB/s");
}

// The dialog and the terminal line show the same rate line, from the counts
// of exports, scans and NTFS reads, and only once it can be told.
TEST(ProgressLines, TheRateLineComesFromTheCountsOfEachLongTask) {
  ProgressTracker tracker;
  ProgressTracker::Clock::time_point now{};
  StatusMessage m;
  m.kind = StatusKind::kExport;
  m.exportStatus.bytesToExport = 1000ull << 20;
  for (int tick = 0; tick <= 30; ++tick) {  // 10 MiB/s for 3 s
    m.exportStatus.bytesExported = std::uint64_t(tick) << 20;
    ASSERT_TRUE(tracker.Apply(m, now + tick * 100ms));
    if (tick < 20) {
      EXPECT_EQ(tracker.Lines().timeLeft, u"") << tick;
    }
  }
  EXPECT_EQ(tracker.Lines().timeLeft, u"速度： 10.0 MB/s    剩余时间： 约 1 分 40 秒");
  // A read error between two counts keeps the estimate.
  StatusMessage error;
  error.kind = StatusKind::kReadError;
  ASSERT_TRUE(tracker.Apply(error, now + 3100ms));
  EXPECT_EQ(tracker.Lines().timeLeft, u"速度： 10.0 MB/s    剩余时间： 约 1 分 40 秒");

  StatusMessage scan;
  scan.kind = StatusKind::kScan;
  scan.scan.sectorsToScan = 2048 * 10000;  // 10000 MiB
  for (int tick = 0; tick <= 30; ++tick) {  // 100 MiB/s
    scan.scan.sectorsScanned = 2048 * 10 * static_cast<std::uint32_t>(tick);
    tracker.Apply(scan, now + 10s + tick * 100ms);
  }
  EXPECT_EQ(tracker.Lines().timeLeft, u"速度： 100.0 MB/s    剩余时间： 约 1 分 40 秒");

  StatusMessage parse;
  parse.kind = StatusKind::kParse;
  parse.parse.recordsToRead = 126000;
  for (int tick = 0; tick <= 30; ++tick) {  // 2000 records a second
    parse.parse.recordsRead = 200 * static_cast<std::uint64_t>(tick);
    tracker.Apply(parse, now + 20s + tick * 100ms);
  }
  EXPECT_EQ(tracker.Lines().timeLeft, u"速度： 2000 个记录/秒    剩余时间： 约 1 分");
  // A reader that cannot tell its total (FAT, exFAT) shows no rate line.
  parse.parse.recordsToRead = 0;
  tracker.Apply(parse, now + 30s);
  EXPECT_EQ(tracker.Lines().timeLeft, u"");
}

}  // namespace
}  // namespace kestrum
