// `classify`: what every sector of a disk, image or volume is, as the deep
// scan sees it — file signatures and file-system structures, one line each.

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <thread>
#include <cstdio>
#include <string>
#include <vector>

#include "base/page_buffer.h"
#include "run/progress_runner.h"
#include "base/catalog.h"
#include "run/worker_state.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/terminal_presenter.h"
#include "cli/volume_source.h"
#include "disk/data_extents.h"
#include "disk/device.h"
#include "scan/block_analysis.h"
#include "scan/block_findings.h"
#include "scan/file_extents.h"
#include "scan/scan_category.h"
#include "scan/scan_counters.h"

namespace kestrum::cli {

namespace {

// What is read: a device opened for reading and the sectors to classify,
// in the device's own sector numbers.
struct ClassifyArea {
  DeviceHandle device;
  Sector64 first = 0;
  Sector64 end = 0;  // just past the last sector
};

struct ClassifyJob {
  ClassifyArea area;
  std::vector<ScanFinding> findings;
};

// Blocks in memory at once: those being classified and those read ahead.
constexpr std::size_t kClassifyBlocks = 8;

// Reads the area's blocks on a thread of its own, ahead of the
// classification, so that reading and classifying overlap. Blocks lie on
// the scan's grid (multiples of 8192 sectors).
class BlockReader {
 public:
  struct Block {
    PageBuffer bytes;
    Sector64 first = 0;
    std::uint32_t count = 0;  // 0: the area is done
    bool hole = false;        // zeros of a sparse image, not read: nothing to classify
  };

  explicit BlockReader(const ClassifyArea& area) : area_(area) {
    for (Block& b : blocks_) b.bytes.resize(std::size_t{kScanBlockSectors} * kSectorSize);
    for (std::size_t i = 0; i < blocks_.size(); ++i) free_.push_back(i);
    thread_ = std::thread([this] { Run(); });
  }
  ~BlockReader() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // The oldest block read (count 0 at the end), waiting for it, or without
  // waiting nullptr when none is; hand each back with Release.
  Block* Next(bool wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wait) changed_.wait(lock, [this] { return !full_.empty(); });
    if (full_.empty()) return nullptr;
    Block* block = &blocks_[full_.front()];
    full_.pop_front();
    return block;
  }
  void Release(Block* block) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      free_.push_back(static_cast<std::size_t>(block - blocks_.data()));
    }
    changed_.notify_all();
  }

 private:
  void Run() {
    Sector64 sector = area_.first;
    HoleSkippingReader holes(area_.device);
    for (;;) {
      std::size_t slot;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || stop_; });
        if (stop_) return;
        slot = free_.front();
        free_.pop_front();
      }
      Block& b = blocks_[slot];
      b.first = sector;
      b.count = 0;
      if (sector < area_.end && !AbortRequested()) {
        const Sector64 toGridEnd = kScanBlockSectors - sector % kScanBlockSectors;
        b.count = static_cast<std::uint32_t>(std::min(toGridEnd, area_.end - sector));
        b.hole = holes.Read(b.bytes, sector, b.count) == BlockContent::kHole;
        sector += b.count;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        full_.push_back(slot);
      }
      changed_.notify_all();
      if (b.count == 0) return;
    }
  }

  const ClassifyArea& area_;
  std::array<Block, kClassifyBlocks> blocks_;
  std::deque<std::size_t> free_;
  std::deque<std::size_t> full_;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

// The worker: every sector of every block classified in order.
void ClassifyThread(ClassifyJob& job) {
  BeginWorker("ClassifyThread");
  const ClassifyArea& area = job.area;
  StatusMessage status;
  status.kind = StatusKind::kScan;
  status.scan.sectorsToScan = area.end - area.first;
  {
    BlockReader reader(area);
    // Blocks are classified on every core, half the blocks at most, so the
    // reader always has free ones to read ahead into; findings come back in
    // block order.
    ParallelBlockAnalysis analysis(area.device, AnalysisThreads(kClassifyBlocks / 2));
    bool ended = false;
    for (;;) {
      while (!ended && analysis.Pending() < analysis.Threads()) {
        BlockReader::Block* block = reader.Next(analysis.Pending() == 0);
        if (block == nullptr) break;
        if (block->count == 0 || AbortRequested()) {
          ended = true;
          break;
        }
        ByteView bytes(block->bytes.data(), std::size_t{block->count} * kSectorSize);
        analysis.Submit(block->hole ? ByteView() : bytes, block->first, block);
      }
      if (analysis.Pending() == 0) break;
      ParallelBlockAnalysis::Result done = analysis.TakeOldest();
      auto* block = static_cast<BlockReader::Block*>(done.tag);
      for (const ScanFinding& f : done.findings) CountFinding(f.category, status.scan);
      job.findings.insert(job.findings.end(), std::make_move_iterator(done.findings.begin()),
                          std::make_move_iterator(done.findings.end()));
      status.scan.sectorsScanned = block->first + block->count - area.first;
      reader.Release(block);
      PostStatus(status);
    }
  }
  RequestFinish();
  EndWorker("ClassifyThread");
}

std::string FlagsText(std::uint8_t flags) {
  std::string text;
  if (flags & finding_flags::kInUse) text += "in-use,";
  if (flags & finding_flags::kDirectory) text += "directory,";
  if (flags & finding_flags::kResidentData) text += "resident,";
  if (flags & finding_flags::kHasIndexAllocation) text += "index-allocation,";
  if (text.empty()) return "-";
  text.pop_back();
  return text;
}

void PrintFinding(const ScanFinding& f, bool json) {
  const std::u16string& name = CategoryName(f.category);
  const bool record = f.category == kCategoryFileRecord;
  if (json) {
    JsonLine line;
    line.Add("sector", f.sector).Add("category", static_cast<std::int32_t>(f.category)).Add("name", name);
    line.Add("wordA", f.wordA).Add("wordB", f.wordB);
    if (record) {
      line.Add("fileName", std::u16string(f.Name())).Add("size", f.size).Add("allocatedSize", f.allocatedSize);
      line.Add("flags", std::uint32_t{f.flags});
    }
    std::printf("%s\n", line.Text().c_str());
    return;
  }
  std::u16string text =
      FormatText("%d\t%s\t", static_cast<int>(f.category), ToUtf8(name).c_str()) + DecimalText(f.sector);
  if (IsFileCategory(f.category)) {
    text += FormatText("\tlength=%llu", static_cast<unsigned long long>(f.FileLength()));
  } else if (record) {
    text += FormatText("\tparent=%u\trecord=%u\tname=%s\tsize=%llu\tallocated=%llu\tflags=%s", f.wordA, f.wordB,
                       ToUtf8(f.Name()).c_str(), static_cast<unsigned long long>(f.size),
                       static_cast<unsigned long long>(f.allocatedSize), FlagsText(f.flags).c_str());
  } else {
    text += FormatText("\twordA=%u\twordB=%u", f.wordA, f.wordB);
  }
  std::printf("%s\n", ToUtf8(text).c_str());
}

// SOURCE whole (a disk, an image, a partition device), or with --partition
// the volume `volumes` lists at that place, read through its disk.
bool OpenArea(const Arguments& args, ClassifyArea& area, int& status) {
  if (args.values.count("--partition") != 0) {
    VolumeDescriptor volume;
    if (!ResolveVolumeSource(args, volume, status)) return false;
    area.device = OpenVolumeOnDisk(volume);
    area.first = volume.startSector;
    area.end = volume.startSector + volume.sectorCount;
  } else {
    const std::u16string path = FromUtf8(args.operands[0]);
    if (int error = OpenDeviceOrErrno(path, area.device)) {
      TellUnopened({{path, error}});
      status = kExitFailure;
      return false;
    }
    area.end = QueryDeviceBytes(area.device.fd) / kSectorSize;
  }
  if (!area.device.IsOpen()) {
    Tell(Tr(u"获取设备信息失败!"));
    status = kExitFailure;
    return false;
  }
  return true;
}

// --from and --count narrow the area; both in the sector numbers printed.
bool NarrowArea(const Arguments& args, ClassifyArea& area, int& status) {
  bool bad = false;
  std::optional<std::uint64_t> from = args.Number("--from", bad);
  std::optional<std::uint64_t> count = args.Number("--count", bad);
  if (bad) {
    status = UsageError(Tr(u"--from 和 --count 需要扇区号"));
    return false;
  }
  if (from) {
    if (*from < area.first || *from >= area.end) {
      status = UsageError(TrFormat("--from %llu 超出 %llu-%llu 扇区（%s）",
                                     static_cast<unsigned long long>(*from),
                                     static_cast<unsigned long long>(area.first),
                                     static_cast<unsigned long long>(area.end == 0 ? 0 : area.end - 1),
                                     args.operands[0].c_str()));
      return false;
    }
    area.first = *from;
  }
  if (count) area.end = area.first + std::min(*count, area.end - area.first);
  return true;
}

}  // namespace

int RunClassify(const Arguments& args) {
  if (args.operands.empty()) return UsageError(Tr(u"缺少 SOURCE"));
  ClassifyJob job;
  int status = kExitOk;
  if (!OpenArea(args, job.area, status)) return status;
  if (!NarrowArea(args, job.area, status)) {
    CloseDevice(job.area.device);
    return status;
  }
  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  bool finished = RunWithProgress([&job] { ClassifyThread(job); }, false, presenter);
  CloseDevice(job.area.device);
  if (!finished) {
    Tell(Tr(u"操作已取消"));
    return kExitFailure;
  }
  AssignFileExtents(job.findings, job.area.end);
  const bool json = args.Has("--json");
  for (const ScanFinding& finding : job.findings) PrintFinding(finding, json);
  return kExitOk;
}

}  // namespace kestrum::cli
