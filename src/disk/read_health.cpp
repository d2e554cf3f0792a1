#include "disk/read_health.h"

#include <algorithm>
#include <vector>

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum {

std::u16string ReadLossText(const ReadCounts& counts) {
  if (counts.Lost() == 0) return {};
  std::u16string text = TrFormat("无法读取的扇区 %llu 个", static_cast<unsigned long long>(counts.Lost()));
  if (counts.skippedSectors != 0) {
    text += TrFormat("（其中 %llu 个位于连续坏扇区中，跳过未读）", static_cast<unsigned long long>(counts.skippedSectors));
  }
  return text;
}

std::u16string ReaderLossText(const ReaderLoss& loss) {
  if (!loss.Any()) return {};
  std::vector<std::u16string> parts;
  if (loss.records != 0) parts.push_back(TrFormat(" %u 个 MFT 记录无法读取，已跳过", loss.records));
  if (loss.directoryClusters != 0) {
    parts.push_back(TrFormat(" %u 个目录簇无法读取，其中的文件和目录未能列出", loss.directoryClusters));
  }
  if (std::u16string sectors = ReadLossText(loss.sectors); !sectors.empty()) parts.push_back(std::move(sectors));
  // Joined by the language's semicolon: "；" needs no space after it, "; " does.
  std::u16string text = Tr(u"读取时");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) text += Tr(u"；");
    text += parts[i];
  }
  return text;
}

ReadCounts ReadHealth::Counts() const {
  std::lock_guard<std::mutex> lock(lock_);
  return counts_;
}

Sector64 ReadHealth::SkipEnd(Sector64 sector) const {
  std::lock_guard<std::mutex> lock(lock_);
  return sector >= skipFrom_ && sector < skipEnd_ ? skipEnd_ : sector;
}

void ReadHealth::NoteBadSector(Sector64 sector) {
  std::lock_guard<std::mutex> lock(lock_);
  ++counts_.unreadableSectors;
  if (sector != runEnd_ || runLength_ == 0) {
    runLength_ = 0;
    skip_ = kFirstSkipSectors;
  }
  ++runLength_;
  runEnd_ = sector + 1;
  if (runLength_ < kBadRunBeforeSkip || sector >= UINT64_MAX - skip_) return;
  skipFrom_ = sector + 1;
  skipEnd_ = skipFrom_ + skip_;
  runEnd_ = skipEnd_;
  skip_ = std::min(skip_ * 2, kMaxSkipSectors);
  // One more failure right after the stretch doubles it again.
  runLength_ = kBadRunBeforeSkip - 1;
}

void ReadHealth::ClipSkip(Sector64 end) {
  std::lock_guard<std::mutex> lock(lock_);
  if (end >= skipEnd_ || end <= skipFrom_) return;
  skipEnd_ = end;
  runEnd_ = end;
}

void ReadHealth::NoteSkipped(Sector64 count) {
  std::lock_guard<std::mutex> lock(lock_);
  counts_.skippedSectors += count;
}

void ReadHealth::NoteRetry() {
  std::lock_guard<std::mutex> lock(lock_);
  ++counts_.retriedReads;
}

bool ReadHealth::TakeEndedSkip(Sector64 sector, Sector64& from) {
  std::lock_guard<std::mutex> lock(lock_);
  if (skipEnd_ == 0 || sector != skipEnd_) return false;
  from = skipFrom_;
  skipFrom_ = skipEnd_ = 0;
  runLength_ = 0;
  return true;
}

void ReadHealth::NoteRecovered(Sector64 count) {
  std::lock_guard<std::mutex> lock(lock_);
  counts_.skippedSectors -= std::min(count, counts_.skippedSectors);
}

void ReadHealth::NoteBackwardBad() {
  std::lock_guard<std::mutex> lock(lock_);
  if (counts_.skippedSectors > 0) --counts_.skippedSectors;
  ++counts_.unreadableSectors;
}

}  // namespace kestrum
