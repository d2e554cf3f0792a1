#include "run/progress_lines.h"

#include <algorithm>

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum {

namespace {

unsigned MiB(std::uint64_t bytes) { return static_cast<unsigned>(bytes >> 20); }

constexpr std::uint64_t kSectorBytes = 512;

void ShowParse(const ParseStatus& s, ProgressLines& lines) {
  lines.heading = Tr(u"正在解析磁盘上的文件，请耐心等候！");
  lines.line1 = TrFormat("发现文件： %u", s.files);
  lines.line2 = TrFormat("发现目录： %u", s.folders);
  lines.line3 = TrFormat("发现已删除文件： %u", s.deletedFiles);
  lines.line4 = TrFormat("发现已删除目录： %u", s.deletedFolders);
}

void ShowScan(const ScanStatus& s, ProgressLines& lines) {
  lines.heading = Tr(u"正在扫描磁盘上的文件，请耐心等候！");
  const std::uint64_t scanned = std::min(s.sectorsScanned, s.sectorsToScan) / 2048;
  lines.line1 = FormatText("Find: %llu(MB) / %llu(MB)", static_cast<unsigned long long>(scanned),
                           static_cast<unsigned long long>(s.sectorsToScan / 2048));
  lines.line2 = TrFormat("File： %u ", s.signatureFiles);
  lines.line3 = FormatText("Ebr: %u     Fat dbr: %u     Ntfs dbr: %u     Exfat dbr: %u ",
                           s.extendedTables, s.fatBootSectors, s.ntfsBootSectors,
                           s.exfatBootSectors);
  lines.line4 = FormatText("File record: %u     Fat dir: %u     Ntfs dir: %u     Exfat dbr: %u ",
                           s.mftRecords, s.fatDirSectors, s.ntfsIndexRecords, s.exfatDirSectors);
}

void ShowExport(const ExportStatus& s, ProgressLines& lines) {
  lines.heading = Tr(u"正在导出磁盘上的文件，请耐心等候！");
  lines.line1 = FixedText(s.currentName);
  lines.line2 = TrFormat("文件数： %u / %u", s.filesExported, s.filesToExport);
  lines.line3 = TrFormat("总拷贝数据(MB)： %u / %u", MiB(s.bytesExported), MiB(s.bytesToExport));
  lines.line4 = TrFormat("当前文件拷贝数据(MB)： %u / %u", MiB(s.currentFileCopied),
                           MiB(s.currentFileBytes));
}

void ShowVolumeFound(const VolumeFoundStatus& s, ProgressLines& lines) {
  lines.heading = Tr(u"正在获取磁盘上的分区信息，请耐心等候！");
  lines.line1 = TrFormat("发现分区数： %u", s.volumesFound);
  lines.line2 = Tr(u"当前分区： ") + FixedText(s.volumeName);
  lines.line3 = Tr(u"分区格式： ") + FixedText(s.fsName);
  lines.line4 = Tr(u"分区卷标： ") + FixedText(s.label);
}

void ShowReadError(const ReadErrorStatus& s, ProgressLines& lines) {
  lines.heading = Tr(u"读磁盘数据出错！");
  lines.line1 = Tr(u"读设备： ") + FixedText(s.device);
  lines.line2 = TrFormat("地址： %llu        大小： %u  ", static_cast<unsigned long long>(s.sector), s.count);
  lines.line3.clear();
  lines.line4.clear();
}

std::u16string Duration(std::uint64_t seconds) {
  if (seconds >= 3600) {
    return TrFormat("%llu 小时 %02llu 分", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds / 60 % 60));
  }
  return TrFormat("%llu 分 %02llu 秒", static_cast<unsigned long long>(seconds / 60),
                    static_cast<unsigned long long>(seconds % 60));
}

std::u16string PhaseText(const ImagingStatus& s) {
  switch (s.phase) {
    case '?': return s.pass == 1 ? Tr(u"按顺序读取") : Tr(u"读取跳过的区域");
    case '*': return Tr(u"逐扇区读取坏区的两端");
    case '/': return Tr(u"逐扇区读取坏区");
    case '-': return TrFormat("重试无法读取的扇区（第 %u 次）", s.pass);
    default: return Tr(u"完成");
  }
}

void ShowImaging(const ImagingStatus& s, ProgressLines& lines) {
  lines.heading = Tr(u"正在创建镜像文件，请耐心等候！");
  lines.line1 = TrFormat("已复制(MB)： %llu / %llu", static_cast<unsigned long long>(s.rescuedBytes >> 20),
                           static_cast<unsigned long long>(s.sourceBytes >> 20));
  lines.line2 = TrFormat("无法读取的扇区： %llu     坏区： %llu", static_cast<unsigned long long>(s.badSectors),
                           static_cast<unsigned long long>(s.badAreas));
  lines.line3 = s.bytesPerSecond == 0
                    ? Tr(u"速度： -")
                    : TrFormat("速度： %.1f MB/s", static_cast<double>(s.bytesPerSecond) / (1 << 20));
  if (s.secondsLeft != 0) lines.line3 += Tr(u"     剩余时间： ") + Duration(s.secondsLeft);
  lines.line4 = PhaseText(s);
}

}  // namespace

bool ProgressTracker::Apply(const StatusMessage& message, Clock::time_point now) {
  if (!ApplyStatus(message, lines_)) return false;
  // Work done and to do, where the message carries a total.
  std::uint64_t done = 0, total = 0;
  bool bytes = true;
  switch (message.kind) {
    case StatusKind::kScan:
      done = std::uint64_t{std::min(message.scan.sectorsScanned, message.scan.sectorsToScan)} * kSectorBytes;
      total = std::uint64_t{message.scan.sectorsToScan} * kSectorBytes;
      break;
    case StatusKind::kExport:
      done = message.exportStatus.bytesExported;
      total = message.exportStatus.bytesToExport;
      break;
    case StatusKind::kParse:
      done = message.parse.recordsRead;
      total = message.parse.recordsToRead;
      bytes = false;
      break;
    default:
      return true;  // a read error or a volume found: the estimate goes on
  }
  if (message.kind != kind_) {
    estimator_.Reset();
    kind_ = message.kind;
    bytes_ = bytes;
  }
  if (total == 0) {
    lines_.timeLeft.clear();
    return true;
  }
  estimator_.Observe(done, total, now);
  UpdateTimeLeft();
  return true;
}

bool ProgressTracker::Idle(Clock::time_point now) {
  if (kind_ == StatusKind::kNone) return false;
  estimator_.Idle(now);
  return UpdateTimeLeft();
}

bool ProgressTracker::UpdateTimeLeft() {
  std::u16string text;
  if (estimator_.Ready()) {
    const double rate = estimator_.UnitsPerSecond();
    text = Tr(u"速度： ") + (bytes_ ? ByteRateText(rate) : TrFormat("%.0f 个记录/秒", rate)) + Tr(u"    剩余时间： ") +
           DurationText(estimator_.SecondsLeft());
  }
  if (text == lines_.timeLeft) return false;
  lines_.timeLeft = std::move(text);
  return true;
}

bool ApplyStatus(const StatusMessage& message, ProgressLines& lines) {
  switch (message.kind) {
    case StatusKind::kParse: ShowParse(message.parse, lines); return true;
    case StatusKind::kScan: ShowScan(message.scan, lines); return true;
    case StatusKind::kExport: ShowExport(message.exportStatus, lines); return true;
    case StatusKind::kVolumeFound: ShowVolumeFound(message.volume, lines); return true;
    case StatusKind::kReadError: ShowReadError(message.readError, lines); return true;
    case StatusKind::kImaging: ShowImaging(message.imaging, lines); return true;
    case StatusKind::kNone: break;
  }
  return false;
}

}  // namespace kestrum
