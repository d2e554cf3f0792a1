#include "run/progress_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "run/progress_lines.h"
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
  ProgressLines lines{u"h", u"1", u"2", u"3", u"4"};
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

}  // namespace
}  // namespace kestrum
