#include "run/worker_state.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/text.h"
#include "support/run_state.h"

namespace kestrum {
namespace {

StatusMessage ParseMessage(std::uint32_t files) {
  StatusMessage m;
  m.kind = StatusKind::kParse;
  m.parse.files = files;
  return m;
}

TEST(StatusSlot, OnlyTheLatestMessageIsTakenAndOnlyOnce) {
  test::PrepareRun();
  PostStatus(ParseMessage(1));
  PostStatus(ParseMessage(2));
  StatusMessage taken;
  ASSERT_TRUE(TakeStatus(taken));
  EXPECT_EQ(taken.kind, StatusKind::kParse);
  EXPECT_EQ(taken.parse.files, 2u);
  EXPECT_FALSE(TakeStatus(taken));
  EXPECT_EQ(taken.parse.files, 2u) << "a failed take leaves the caller's copy alone";
}

TEST(StatusSlot, FixedTextIsCutToItsRecordWithTerminator) {
  StatusMessage m;
  m.kind = StatusKind::kExport;
  CopyFixedText(m.exportStatus.currentName, std::u16string(400, u'名'));
  EXPECT_EQ(FixedText(m.exportStatus.currentName).size(), kStatusNameChars - 1);
  CopyFixedText(m.exportStatus.currentName, u"a.txt");
  EXPECT_EQ(FixedText(m.exportStatus.currentName), u"a.txt") << "the rest of a longer old name is cleared";
}

TEST(RunStateTransitions, FinishNeverOverwritesAbortAndAbortOverridesFinish) {
  test::PrepareRun();
  RequestFinish();
  EXPECT_EQ(CurrentRunState(), RunState::kFinished);
  RequestFinish();
  EXPECT_EQ(CurrentRunState(), RunState::kFinished);

  test::PrepareRun();
  RequestAbort();
  RequestFinish();
  EXPECT_EQ(CurrentRunState(), RunState::kAbort);
  EXPECT_TRUE(AbortRequested());
}

TEST(WorkerCount, ConcurrentWorkersAreCountedAndReturnToZero) {
  ASSERT_EQ(TheWorkerState().liveWorkers.load(), 0);
  constexpr int kThreads = 8;
  constexpr int kRounds = 2000;
  std::atomic<int> maxSeen{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        BeginWorker("TestThread");
        int now = TheWorkerState().liveWorkers.load();
        int seen = maxSeen.load();
        while (now > seen && !maxSeen.compare_exchange_weak(seen, now)) {
        }
        EndWorker("TestThread");
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(TheWorkerState().liveWorkers.load(), 0);
  EXPECT_GE(maxSeen.load(), 1);
  EXPECT_LE(maxSeen.load(), kThreads);
}

TEST(StatusSlot, ConcurrentPostersNeverTearARecord) {
  test::PrepareRun();
  std::atomic<bool> stop{false};
  std::vector<std::thread> posters;
  for (std::uint32_t t = 1; t <= 4; ++t) {
    posters.emplace_back([&, t] {
      StatusMessage m;
      m.kind = StatusKind::kScan;
      while (!stop.load()) {
        // Every field of one message carries the same value.
        m.scan.sectorsToScan = m.scan.sectorsScanned = m.scan.exfatDirSectors = t;
        PostStatus(m);
      }
    });
  }
  // Nothing may fail while the posters run (a failed ASSERT here would leave
  // joinable threads behind): take, count, and report after the join. The
  // suite's CTest TIMEOUT bounds the wait.
  int taken = 0;
  int torn = 0;
  StatusMessage firstTorn;
  while (taken < 2000) {
    StatusMessage m;
    if (!TakeStatus(m)) continue;
    ++taken;
    bool whole = m.scan.sectorsToScan == m.scan.sectorsScanned && m.scan.sectorsToScan == m.scan.exfatDirSectors;
    if (!whole && torn++ == 0) firstTorn = m;
  }
  stop.store(true);
  for (auto& t : posters) t.join();
  EXPECT_EQ(torn, 0) << "first torn record: " << firstTorn.scan.sectorsToScan << " " << firstTorn.scan.sectorsScanned
                     << " " << firstTorn.scan.exfatDirSectors;
}

}  // namespace
}  // namespace kestrum
