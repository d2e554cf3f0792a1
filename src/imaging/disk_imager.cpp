#include "imaging/disk_imager.h"
#include "export/target_device.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/catalog.h"
#include "base/text.h"
#include "export/export_files.h"
#include "run/worker_state.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/process.h"

namespace kestrum {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kThreadName[] = "DiskImageThread";

std::u16string Reason(int error) { return FromUtf8(platform::ErrorText(error)); }

bool AllZero(const std::uint8_t* p, std::size_t bytes) {
  return std::all_of(p, p + bytes, [](std::uint8_t b) { return b == 0; });
}

std::string TimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  platform::LocalTime(now, local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string FolderOf(const std::string& path) {
  return ToUtf8(platform::FolderOfPath(FromUtf8(path)));
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(std::filesystem::path(FromUtf8(path)), std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return !in.bad();
}

bool SameFile(const platform::PathInfo& a, const platform::PathInfo& b) { return !a.identity.empty() && a.identity == b.identity; }

}  // namespace

DiskImager::~DiskImager() {
  CloseDevice(source_);
  platform::CloseFile(target_);
  platform::UnmapPages(buffer_, kImagingReadSectors * kSectorSize);
}

bool DiskImager::Open(const ImagingJob& job, std::u16string& problem) {
  const std::string source = ToUtf8(job.source);
  targetPath_ = job.target;
  mapPath_ = job.mapPath.empty() ? job.target + ".map" : job.mapPath;
  header_ = job.mapHeader;
  retries_ = std::max<std::uint32_t>(job.retries, 1);
  if (!OpenDeviceUnbuffered(job.source, source_)) {
    problem = Tr(u"无法打开设备: ") + job.source + Tr(u"（") + Reason(errno) + Tr(u"）");
    return false;
  }
  if (job.sectorCount != 0) {
    if (job.firstSector >= source_.sectorLimit || job.sectorCount > source_.sectorLimit - job.firstSector) {
      problem = Tr(u"要复制的分区超出了磁盘的末尾：") + job.source;
      return false;
    }
    source_.baseSector = job.firstSector;
    source_.windowSectors = source_.sectorLimit = job.sectorCount;
  }
  if (source_.sectorLimit == 0) {
    problem = Tr(u"设备大小为 0，没有可复制的数据：") + job.source;
    return false;
  }
  const platform::PathInfo sourceInfo = platform::ExaminePath(job.source, true);
  const platform::PathInfo targetInfo = platform::ExaminePath(FromUtf8(job.target), false);
  const platform::PathInfo mapInfo = platform::ExaminePath(FromUtf8(mapPath_), false);
  const bool sourceKnown = sourceInfo.kind != platform::PathKind::kMissing;
  const bool targetExists = targetInfo.kind != platform::PathKind::kMissing;
  const bool mapExists = mapInfo.kind != platform::PathKind::kMissing;
  if (targetExists && targetInfo.kind != platform::PathKind::kFile) {
    problem = Tr(u"镜像文件必须是普通文件：") + FromUtf8(job.target);
    return false;
  }
  if (sourceKnown && ((targetExists && SameFile(sourceInfo, targetInfo)) || (mapExists && SameFile(sourceInfo, mapInfo)))) {
    problem = Tr(u"镜像文件和映射文件不能是要复制的设备本身：") + job.source;
    return false;
  }
  VolumeDescriptor disk;
  disk.diskPath = job.source;
  const std::u16string folder = FromUtf8(AbsolutePath(FolderOf(job.target)));
  if (TargetIsOnSourceDevice(folder, disk) ||
      TargetIsOnSourceDevice(FromUtf8(AbsolutePath(FolderOf(mapPath_))), disk)) {
    problem = Tr(u"镜像文件与要复制的磁盘在同一个磁盘上，写入镜像可能覆盖要恢复的数据，"
                 u"请选择其他磁盘上的位置：") + FromUtf8(job.target);
    return false;
  }
  const Sector64 sectors = source_.sectorLimit;
  map_ = RescueMap(sectors);
  if (mapExists) {
    std::string text, error;
    if (!ReadWholeFile(mapPath_, text) || !ParseMapfile(text, sectors, map_, error)) {
      problem = Tr(u"映射文件无法使用：") + FromUtf8(mapPath_) + Tr(u"（") +
                (error.empty() ? Reason(errno) : FromUtf8(error)) + Tr(u"）");
      return false;
    }
    resumed_ = true;
    if (!targetExists && map_.CountOf(RescueState::kRescued) != 0) {
      problem = Tr(u"映射文件记录了已复制的数据，但镜像文件不存在：") + FromUtf8(job.target);
      return false;
    }
  } else if (targetExists && targetInfo.bytes != 0) {
    problem = Tr(u"镜像文件已存在，且没有它的映射文件，不会覆盖：") + FromUtf8(job.target);
    return false;
  }
  target_ = platform::OpenFile(FromUtf8(job.target), platform::OpenMode::kOpenOrCreateNoLink);
  if (target_ < 0) {
    problem = Tr(u"无法创建镜像文件：") + FromUtf8(job.target) + Tr(u"（") + Reason(errno) + Tr(u"）");
    return false;
  }
  const std::uint64_t bytes = sectors * kSectorSize;
  if (!platform::IsRegularFile(target_) || platform::FileBytes(target_) > bytes) {
    problem = Tr(u"镜像文件比要复制的设备大，不是它的镜像：") + FromUtf8(job.target);
    return false;
  }
  // Unread sectors read as zeros without being written: a sparse image.
  if (!platform::ResizeFile(target_, bytes)) {
    problem = Tr(u"无法创建镜像文件：") + FromUtf8(job.target) + Tr(u"（") + Reason(errno) + Tr(u"）");
    return false;
  }
  // Page-aligned, as reads past the system's cache want it.
  buffer_ = static_cast<std::uint8_t*>(platform::MapPages(kImagingReadSectors * kSectorSize));
  if (buffer_ == nullptr) {
    problem = Tr(u"内存不足");
    return false;
  }
  if (!Save()) {
    problem = problem_;
    return false;
  }
  return true;
}

bool DiskImager::Stopping() const { return failed_ || CurrentRunState() != RunState::kRunning; }

bool DiskImager::ReadInto(Sector64 first, Sector64 count) {
  return ReadSectors(source_, std::span<std::uint8_t>(buffer_, count * kSectorSize), first,
                     static_cast<std::uint32_t>(count));
}

bool DiskImager::Keep(Sector64 first, Sector64 count, bool read) {
  if (!read) {
    map_.Set(first, count, count == 1 ? RescueState::kBadSector : RescueState::kNonTrimmed);
    Progress(false);
    return true;
  }
  const std::size_t bytes = count * kSectorSize;
  if (!AllZero(buffer_, bytes) && !platform::WriteFileAt(target_, buffer_, bytes, first * kSectorSize)) {
    problem_ = Tr(u"写镜像文件出错：") + FromUtf8(targetPath_) + Tr(u"（") + Reason(errno) + Tr(u"）");
    failed_ = true;
    return false;
  }
  map_.Set(first, count, RescueState::kRescued);
  Progress(false);
  return true;
}

bool DiskImager::Save() {
  // The image's bytes reach the disk before a map that says they are there.
  if (!platform::FlushFile(target_, true) && errno != EINVAL) {
    problem_ = Tr(u"写镜像文件出错：") + FromUtf8(targetPath_) + Tr(u"（") + Reason(errno) + Tr(u"）");
    failed_ = true;
    return false;
  }
  std::vector<std::string> header = header_;
  header.push_back("Current time: " + TimeNow());
  int error = 0;
  if (!ReplaceFileAtomically(mapPath_, FormatMapfile(map_, header), error)) {
    problem_ = Tr(u"写映射文件出错：") + FromUtf8(mapPath_) + Tr(u"（") + Reason(error) + Tr(u"）");
    failed_ = true;
    return false;
  }
  lastSave_ = Clock::now();
  return true;
}

ImagingStatus DiskImager::Status() const {
  ImagingStatus s;
  s.sourceBytes = map_.Sectors() * kSectorSize;
  s.rescuedBytes = map_.CountOf(RescueState::kRescued) * kSectorSize;
  s.badSectors = map_.CountOf(RescueState::kBadSector);
  s.badAreas = map_.AreasOf(RescueState::kBadSector);
  s.pendingBytes = (map_.CountOf(RescueState::kNonTried) + map_.CountOf(RescueState::kNonTrimmed) +
                    map_.CountOf(RescueState::kNonScraped)) * kSectorSize;
  s.bytesPerSecond = bytesPerSecond_;
  s.secondsLeft = bytesPerSecond_ == 0 ? 0 : s.pendingBytes / bytesPerSecond_;
  s.phase = static_cast<char>(map_.phase);
  s.pass = map_.pass;
  return s;
}

void DiskImager::Progress(bool force) {
  const Clock::time_point now = Clock::now();
  if (!force && now - lastPost_ < std::chrono::milliseconds(kProgressTickMs)) return;
  lastPost_ = now;
  StatusMessage message;
  message.kind = StatusKind::kImaging;
  message.imaging = Status();
  // The rate over windows of two seconds or more, smoothed.
  const double seconds = std::chrono::duration<double>(now - windowStart_).count();
  if (seconds >= 2.0) {
    const std::uint64_t rescued = message.imaging.rescuedBytes;
    const auto rate = static_cast<std::uint64_t>(static_cast<double>(rescued - std::min(rescued, windowBytes_)) / seconds);
    bytesPerSecond_ = bytesPerSecond_ == 0 ? rate : (bytesPerSecond_ + rate) / 2;
    windowStart_ = now;
    windowBytes_ = rescued;
    message.imaging = Status();
  }
  PostStatus(message);
  if (now - lastSave_ >= std::chrono::seconds(1)) Save();
}

void DiskImager::CopyInOrder() {
  map_.phase = CopyPhase::kCopying;
  map_.pass = 1;
  Sector64 skip = kImagingFirstSkip;
  MapBlock b;
  for (Sector64 at = map_.position; !Stopping() && map_.NextOf(RescueState::kNonTried, at, b);) {
    const Sector64 n = std::min(kImagingReadSectors, b.count);
    map_.position = b.first;
    const bool read = ReadInto(b.first, n);
    if (!Keep(b.first, n, read)) return;
    at = b.first + n;
    if (read) {
      skip = kImagingFirstSkip;
    } else {
      at += std::min(skip, map_.Sectors() - at);
      skip = std::min(skip * 2, MaxSkip());
    }
  }
}

Sector64 DiskImager::MaxSkip() const { return std::clamp(map_.Sectors() / 100, kImagingFirstSkip, kImagingMaxSkip); }

void DiskImager::CopyBackwards() {
  map_.phase = CopyPhase::kCopying;
  map_.pass = 2;
  Sector64 skip = kImagingFirstSkip;
  MapBlock b;
  for (Sector64 end = map_.Sectors(); !Stopping() && map_.PreviousOf(RescueState::kNonTried, end, b);) {
    const Sector64 n = std::min(kImagingReadSectors, b.count);
    const Sector64 first = b.first + b.count - n;
    map_.position = first;
    const bool read = ReadInto(first, n);
    if (!Keep(first, n, read)) return;
    end = first;
    if (read) {
      skip = kImagingFirstSkip;
    } else {
      end -= std::min(skip, end);
      skip = std::min(skip * 2, MaxSkip());
    }
  }
}

void DiskImager::CopyRest() {
  map_.phase = CopyPhase::kCopying;
  map_.pass = 3;
  MapBlock b;
  for (Sector64 at = 0; !Stopping() && map_.NextOf(RescueState::kNonTried, at, b);) {
    const Sector64 n = std::min(kImagingReadSectors, b.count);
    map_.position = b.first;
    if (!Keep(b.first, n, ReadInto(b.first, n))) return;
    at = b.first + n;
  }
}

void DiskImager::Trim() {
  map_.phase = CopyPhase::kTrimming;
  MapBlock b;
  while (!Stopping() && map_.NextOf(RescueState::kNonTrimmed, 0, b)) {
    Sector64 at = b.first, end = b.first + b.count;
    for (bool bad = false; !bad && at < end && !Stopping(); ++at) {
      map_.position = at;
      bad = !ReadInto(at, 1);
      if (!Keep(at, 1, !bad)) return;
    }
    for (bool bad = false; !bad && at < end && !Stopping(); --end) {
      map_.position = end - 1;
      bad = !ReadInto(end - 1, 1);
      if (!Keep(end - 1, 1, !bad)) return;
    }
    if (Stopping()) return;
    if (at < end) map_.Set(at, end - at, RescueState::kNonScraped);
  }
}

void DiskImager::Scrape() {
  map_.phase = CopyPhase::kScraping;
  MapBlock b;
  while (!Stopping() && map_.NextOf(RescueState::kNonScraped, 0, b)) {
    for (Sector64 s = b.first; s < b.first + b.count && !Stopping(); ++s) {
      map_.position = s;
      if (!Keep(s, 1, ReadInto(s, 1))) return;
    }
  }
}

void DiskImager::RetryBad() {
  for (std::uint32_t pass = 2; pass <= retries_ && !Stopping(); ++pass) {
    map_.phase = CopyPhase::kRetrying;
    map_.pass = pass - 1;
    MapBlock b;
    for (Sector64 from = 0; !Stopping() && map_.NextOf(RescueState::kBadSector, from, b);) {
      for (Sector64 s = b.first; s < b.first + b.count && !Stopping(); ++s) {
        map_.position = s;
        if (!Keep(s, 1, ReadInto(s, 1))) return;
      }
      from = b.first + b.count;
    }
  }
}

bool DiskImager::Complete() const {
  return map_.CountOf(RescueState::kNonTried) + map_.CountOf(RescueState::kNonTrimmed) +
             map_.CountOf(RescueState::kNonScraped) == 0;
}

void DiskImager::Run() {
  windowStart_ = Clock::now();
  windowBytes_ = map_.CountOf(RescueState::kRescued) * kSectorSize;
  // A map that stopped in a pass of copying goes on with that pass, from
  // where it was; the passes after it follow.
  const std::uint32_t from = map_.phase == CopyPhase::kCopying ? map_.pass : 4;
  if (from <= 1) CopyInOrder();
  if (from <= 2 && !Stopping()) CopyBackwards();
  if (!Stopping()) CopyRest();
  if (!Stopping()) Trim();
  if (!Stopping()) Scrape();
  if (!Stopping()) RetryBad();
  if (!Stopping() && Complete()) {
    map_.phase = CopyPhase::kFinished;
    map_.pass = 1;
    map_.position = 0;
  }
  if (!failed_) Save();
  Progress(true);
}

bool RunImaging(DiskImager& imager, ProgressPresenter& presenter) {
  return RunWithProgress(
      [&imager] {
        BeginWorker(kThreadName);
        imager.Run();
        RequestFinish();
        EndWorker(kThreadName);
      },
      true, presenter);
}

std::u16string ImagingSummaryText(const DiskImager& imager) {
  const ImagingStatus s = imager.Status();
  std::u16string text = TrFormat("已复制 %.1f MB / %.1f MB", static_cast<double>(s.rescuedBytes) / (1 << 20),
                                   static_cast<double>(s.sourceBytes) / (1 << 20));
  text += TrFormat("，无法读取的扇区 %llu 个（%llu 处）", static_cast<unsigned long long>(s.badSectors),
                     static_cast<unsigned long long>(s.badAreas));
  if (s.pendingBytes != 0) {
    text += TrFormat("，尚未读取 %.1f MB（再次运行同一命令即可继续）", static_cast<double>(s.pendingBytes) / (1 << 20));
  }
  text += Tr(u"\n映射文件：") + FromUtf8(imager.MapPath());
  return text;
}

}  // namespace kestrum
