// `classify`: what every sector of a disk, image or volume is, as the deep
// scan sees it — file signatures and file-system structures, one line each.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>
#include <thread>
#include <string>
#include <vector>

#include "run/progress_runner.h"
#include "base/catalog.h"
#include "run/worker_state.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/terminal_presenter.h"
#include "cli/volume_source.h"
#include "disk/device.h"
#include "scan/block_analysis.h"
#include "scan/block_findings.h"
#include "scan/block_reads.h"
#include "scan/block_ring.h"
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

// The sectors of the area in the block that begins at `first`: blocks lie
// on the scan's grid (multiples of 8192 sectors), the first and the last
// cut by the area.
std::uint32_t SectorsOfBlock(const ClassifyArea& area, Sector64 first) {
  const Sector64 toGridEnd = kScanBlockSectors - first % kScanBlockSectors;
  return static_cast<std::uint32_t>(std::min(toGridEnd, area.end - first));
}

// Reads the area's blocks on a thread of its own into the ring, several at
// once and ahead of the classification, as the deep scan does; blocks that
// are one hole of a sparse image pass without a read.
class AreaReader {
 public:
  AreaReader(const ClassifyArea& area, BlockRing& ring) : area_(area), ring_(ring), thread_([this] { Run(); }) {}
  ~AreaReader() {
    stop_ = true;
    thread_.join();
  }
  AreaReader(const AreaReader&) = delete;
  AreaReader& operator=(const AreaReader&) = delete;

  // Every block is in the ring or passed.
  bool Done() const { return done_; }

 private:
  void Run() {
    Sector64 sector = area_.first;
    FillRing(
        area_.device, ring_,
        [&]() -> std::optional<RingBlock> {
          if (sector >= area_.end || stop_ || AbortRequested()) return std::nullopt;
          const RingBlock block{sector, SectorsOfBlock(area_, sector)};
          sector += block.sectors;
          return block;
        },
        [](Sector64) {});
    done_ = true;
    ring_.Close();
  }

  const ClassifyArea& area_;
  BlockRing& ring_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The worker: every sector of every block classified in order.
void ClassifyThread(ClassifyJob& job) {
  BeginWorker("ClassifyThread");
  const ClassifyArea& area = job.area;
  StatusMessage status;
  status.kind = StatusKind::kScan;
  status.scan.sectorsToScan = area.end - area.first;
  auto passed = [&](Sector64 blockFirst) {
    const Sector64 end = blockFirst + SectorsOfBlock(area, blockFirst) - area.first;
    status.scan.sectorsScanned = std::max(status.scan.sectorsScanned, end);
    PostStatus(status);
  };
  {
    BlockRing ring;
    AreaReader reader(area, ring);
    // Blocks are classified on every core, half the ring at most, so the
    // reader always has free slots to read ahead into; findings come back
    // in block order.
    ParallelBlockAnalysis analysis(area.device, AnalysisThreads(kRingSlots / 2));
    while (!AbortRequested()) {
      // Taken before looking at the ring: whatever the reader published
      // before it was done is seen below.
      const bool done = reader.Done();
      while (analysis.Pending() < analysis.Threads()) {
        ScanBlock* block = analysis.Pending() == 0 && !done ? ring.TakeFull() : ring.TryTakeFull();
        if (block == nullptr) break;
        const std::size_t bytes = std::size_t{SectorsOfBlock(area, block->firstSector)} * kSectorSize;
        analysis.Submit(ByteView(block->bytes).first(bytes), block->firstSector, block);
      }
      for (Sector64 hole : ring.TakeHoles()) passed(hole);
      if (analysis.Pending() == 0) {
        if (done) break;
        continue;
      }
      ParallelBlockAnalysis::Result result = analysis.TakeOldest();
      auto* block = static_cast<ScanBlock*>(result.tag);
      for (const ScanFinding& f : result.findings) CountFinding(f.category, status.scan);
      job.findings.insert(job.findings.end(), std::make_move_iterator(result.findings.begin()),
                          std::make_move_iterator(result.findings.end()));
      const Sector64 first = block->firstSector;
      ring.Release(block);
      passed(first);
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
