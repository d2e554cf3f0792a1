// The progress dialog: its lines for each kind of message, its buttons, and
// what "退出" leaves behind.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <thread>

#include "gui/dev_sel_dlg.h"
#include "gui/progress_dlg.h"
#include "base/text.h"
#include "platform/fault_injection.h"
#include "gui_test_support.h"

namespace kestrum::test {
namespace {

using namespace std::chrono_literals;

QStringList Lines(const CProgressDlg* dialog) {
  QStringList lines;
  for (int i = 0; i < 5; ++i) lines << dialog->Line(i)->text();
  return lines;
}

// Posts each message in turn, moving on when the test says so, and ends
// when released or asked to stop.
class ScriptedWorker {
 public:
  explicit ScriptedWorker(std::vector<StatusMessage> messages) : messages_(std::move(messages)) {}
  std::atomic<int> next{0};  // the test raises it to let the next message out

  void operator()() {
    BeginWorker("ScriptedWorker");
    for (int i = 0; i <= static_cast<int>(messages_.size()); ++i) {
      while (next.load() < i && !AbortRequested() && CurrentRunState() != RunState::kFinished) {
        std::this_thread::sleep_for(1ms);
      }
      if (AbortRequested() || CurrentRunState() == RunState::kFinished) break;
      if (i < static_cast<int>(messages_.size())) PostStatus(messages_[static_cast<std::size_t>(i)]);
    }
    RequestFinish();
    EndWorker("ScriptedWorker");
  }

 private:
  std::vector<StatusMessage> messages_;
};

StatusMessage Parse() {
  StatusMessage m;
  m.kind = StatusKind::kParse;
  m.parse = {1200, 14, 3, 2};
  return m;
}

StatusMessage Scan() {
  StatusMessage m;
  m.kind = StatusKind::kScan;
  m.scan.sectorsToScan = 204800;
  m.scan.sectorsScanned = 300000;  // past the end: shown as the total
  m.scan.signatureFiles = 7;
  m.scan.extendedTables = 1;
  m.scan.ntfsBootSectors = 2;
  m.scan.fatBootSectors = 3;
  m.scan.exfatBootSectors = 4;
  m.scan.mftRecords = 5;
  m.scan.fatDirSectors = 6;
  m.scan.ntfsIndexRecords = 8;
  m.scan.exfatDirSectors = 9;
  return m;
}

StatusMessage Export() {
  StatusMessage m;
  m.kind = StatusKind::kExport;
  m.exportStatus.filesToExport = 10;
  m.exportStatus.filesExported = 4;
  m.exportStatus.bytesToExport = 50ull << 20;
  m.exportStatus.bytesExported = (12ull << 20) + 5;
  m.exportStatus.currentFileBytes = 5ull << 20;
  m.exportStatus.currentFileCopied = 3ull << 20;
  CopyFixedText(m.exportStatus.currentName, u"季度总结.txt");
  return m;
}

StatusMessage VolumeFound() {
  StatusMessage m;
  m.kind = StatusKind::kVolumeFound;
  m.volume.volumesFound = 3;
  CopyFixedText(m.volume.volumeName, u"disk.img#5");
  CopyFixedText(m.volume.fsName, u"FAT");
  CopyFixedText(m.volume.label, u"DISKFAT16");
  return m;
}

StatusMessage ReadError() {
  StatusMessage m;
  m.kind = StatusKind::kReadError;
  m.readError.sector = 4096;
  m.readError.count = 8;
  CopyFixedText(m.readError.device, u"/dev/sdb");
  return m;
}

// Runs the worker behind the real dialog; `look` sees the dialog after each
// message has been shown (its heading changed) and lets the next one out.
bool RunScripted(std::vector<StatusMessage> messages, bool showPause,
                 const std::function<void(CProgressDlg*, int)>& look) {
  auto worker = std::make_shared<ScriptedWorker>(messages);
  std::size_t count = messages.size();
  auto ran = WhenModal<CProgressDlg>([worker, count, look](CProgressDlg* dialog) {
    QString previous = dialog->Line(0)->text();
    for (std::size_t i = 0; i < count; ++i) {
      worker->next.store(static_cast<int>(i));
      bool shown = WaitFor([&] { return dialog->Line(0)->text() != previous; }, 10000);
      EXPECT_TRUE(shown) << "message " << i;
      previous = dialog->Line(0)->text();
      look(dialog, static_cast<int>(i));
    }
    worker->next.store(static_cast<int>(count));
  });
  QtProgressPresenter presenter(nullptr);
  bool ok = RunWithProgress([worker] { (*worker)(); }, showPause, presenter);
  EXPECT_TRUE(*ran);
  return ok;
}

TEST(ProgressDlg, ShowsTheFiveLinesOfEachKindOfMessage) {
  std::vector<QStringList> seen;
  bool ok = RunScripted({Parse(), Scan(), Export(), VolumeFound()}, false,
                        [&](CProgressDlg* dialog, int) { seen.push_back(Lines(dialog)); });
  EXPECT_TRUE(ok);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], QStringList({"正在解析磁盘上的文件，请耐心等候！", "发现文件： 1200", "发现目录： 14",
                                  "发现已删除文件： 3", "发现已删除目录： 2"}));
  EXPECT_EQ(seen[1], QStringList({"正在扫描磁盘上的文件，请耐心等候！", "Find: 100(MB) / 100(MB)", "File： 7 ",
                                  "Ebr: 1     Fat dbr: 3     Ntfs dbr: 2     Exfat dbr: 4 ",
                                  "File record: 5     Fat dir: 6     Ntfs dir: 8     Exfat dbr: 9 "}));
  EXPECT_EQ(seen[2], QStringList({"正在导出磁盘上的文件，请耐心等候！", "季度总结.txt", "文件数： 4 / 10",
                                  "总拷贝数据(MB)： 12 / 50", "当前文件拷贝数据(MB)： 3 / 5"}));
  EXPECT_EQ(seen[3], QStringList({"正在获取磁盘上的分区信息，请耐心等候！", "发现分区数： 3",
                                  "当前分区： disk.img#5", "分区格式： FAT", "分区卷标： DISKFAT16"}));
}

TEST(ProgressDlg, AReadErrorEmptiesTheLinesAnEarlierMessageFilled) {
  std::vector<QStringList> seen;
  RunScripted({Parse(), ReadError()}, false, [&](CProgressDlg* dialog, int) { seen.push_back(Lines(dialog)); });
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0][3], QStringLiteral("发现已删除文件： 3"));
  EXPECT_EQ(seen[1], QStringList({"读磁盘数据出错！", "读设备： /dev/sdb", "地址： 4096        大小： 8  ", "", ""}));
}

TEST(ProgressDlg, PauseIsShownOnlyWhenAskedAndFinishesTheRun) {
  bool pauseVisible = true;
  RunScripted({Parse()}, false, [&](CProgressDlg* dialog, int) {
    pauseVisible = dialog->PauseButton()->isVisible();
    EXPECT_TRUE(dialog->QuitButton()->isVisible());
    EXPECT_EQ(dialog->QuitButton()->text(), QStringLiteral("退出"));
  });
  EXPECT_FALSE(pauseVisible);

  // A worker that would run until stopped: "暂停" keeps what it did.
  auto clicked = WhenModal<CProgressDlg>([](CProgressDlg* dialog) {
    EXPECT_TRUE(dialog->PauseButton()->isVisible());
    EXPECT_EQ(dialog->PauseButton()->text(), QStringLiteral("暂停"));
    dialog->PauseButton()->click();
    EXPECT_FALSE(dialog->PauseButton()->isEnabled());
    EXPECT_FALSE(dialog->QuitButton()->isEnabled());
  });
  QtProgressPresenter presenter(nullptr);
  bool ok = RunWithProgress(
      [] {
        BeginWorker("Endless");
        while (CurrentRunState() == RunState::kRunning) std::this_thread::sleep_for(1ms);
        EndWorker("Endless");
      },
      true, presenter);
  EXPECT_TRUE(*clicked);
  EXPECT_TRUE(ok);
}

TEST(ProgressDlg, QuitAndClosingTheWindowBothAskTheWorkerToStop) {
  for (bool useCloseButton : {false, true}) {
    auto stopped = WhenModal<CProgressDlg>([useCloseButton](CProgressDlg* dialog) {
      if (useCloseButton) {
        dialog->reject();
        EXPECT_TRUE(dialog->isVisible());  // stays until the worker has ended
      } else {
        dialog->QuitButton()->click();
      }
    });
    QtProgressPresenter presenter(nullptr);
    bool ok = RunWithProgress(
        [] {
          BeginWorker("Endless");
          while (!AbortRequested()) std::this_thread::sleep_for(1ms);
          RequestFinish();
          EndWorker("Endless");
        },
        false, presenter);
    EXPECT_TRUE(*stopped);
    EXPECT_FALSE(ok) << "close button " << useCloseButton;
    EXPECT_EQ(CurrentRunState(), RunState::kAbort);
  }
}

TEST(ProgressDlg, QuitWhileReadingAVolumeLeavesTheDevicePageAsItWas) {
  GuiFixture gui({FixtureImage("disk.img")});
  gui.ChooseFunction(1);
  CDevSelDlg* page = gui.window->DevSel();
  page->Next();  // a first reading, of the NTFS volume
  ASSERT_EQ(gui.window->CurrentPage(), PageId::kBrowser);
  gui.window->ShowPage(PageId::kDeviceSelection);
  page->Table()->selectRow(2);

  auto quit = QuitWhileTheWorkerWaits(FixtureImage("disk.img"));
  page->Next();
  testing::OpenReadGate();
  EXPECT_TRUE(*quit);
  EXPECT_EQ(gui.window->CurrentPage(), PageId::kDeviceSelection);
  EXPECT_EQ(page->Table()->rowCount(), 4);
  EXPECT_EQ(page->Table()->selectionModel()->selectedRows().at(0).row(), 2);
  // The browser still holds the first reading.
  ASSERT_EQ(gui.window->Volumes().volumes.size(), 1u);
  EXPECT_EQ(gui.window->Volumes().volumes[0].label, u"DISK_NTFS");
  EXPECT_TRUE(gui.boxes.shown.empty());
}

// An export that moves steadily: after its first two seconds the dialog adds
// the rate and the time left below the five lines, and updates them.
TEST(ProgressDlg, ALongTaskShowsItsRateAndTimeLeftOnceItCanBeTold) {
  std::atomic<bool> seen{false};
  QString early, line;
  auto ran = WhenModal<CProgressDlg>([&](CProgressDlg* dialog) {
    WaitFor([&] { return !dialog->Line(0)->text().isEmpty(); }, 10000);
    early = dialog->Line(5)->text();
    seen = WaitFor([&] { return dialog->Line(5)->text().startsWith(QStringLiteral("速度： ")); }, 20000);
    line = dialog->Line(5)->text();
  });
  QtProgressPresenter presenter(nullptr);
  RunWithProgress(
      [&] {
        BeginWorker("SteadyExport");
        StatusMessage m = Export();
        m.exportStatus.bytesToExport = 1ull << 40;
        for (int i = 0; i < 2000 && !seen && !AbortRequested(); ++i) {
          m.exportStatus.bytesExported = std::uint64_t(i) << 20;
          PostStatus(m);
          std::this_thread::sleep_for(20ms);
        }
        RequestFinish();
        EndWorker("SteadyExport");
      },
      false, presenter);
  EXPECT_TRUE(*ran);
  EXPECT_TRUE(seen) << line.toStdString();
  EXPECT_TRUE(early.isEmpty()) << "told before the task had run a moment: " << early.toStdString();
  EXPECT_TRUE(line.contains(QStringLiteral("MB/s    剩余时间： "))) << line.toStdString();
}

}  // namespace
}  // namespace kestrum::test
