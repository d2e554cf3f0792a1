#pragma once
// What the reads of one open device met on a failing disk, and the bad run
// they are in. A read that fails whole is retried sector by sector; once
// several sectors in a row fail, the next ones are passed over unread, a
// stretch that doubles while the run goes on, so a dead zone costs a few
// reads instead of one per sector. When a read past such a stretch succeeds,
// the sectors just before it are tried again from there backwards, so the
// zeros end where the bad run does.

#include <cstdint>
#include <mutex>
#include <string>

#include "disk/sector.h"

namespace kestrum {

struct ReadCounts {
  std::uint64_t retriedReads = 0;       // reads that failed whole and went sector by sector
  std::uint64_t unreadableSectors = 0;  // tried alone and failed
  std::uint64_t skippedSectors = 0;     // inside a long bad run, passed over unread
  std::uint64_t Lost() const { return unreadableSectors + skippedSectors; }
};

// "无法读取的扇区 N 个（其中 M 个位于连续坏扇区中，跳过未读）"; empty when
// nothing was lost.
std::u16string ReadLossText(const ReadCounts& counts);

// What a file-system reader could not read of its volume: the structures it
// skipped (each goes, not the whole listing) and the sectors its reads lost.
struct ReaderLoss {
  std::uint32_t records = 0;            // NTFS: MFT records with a sector that would not read
  std::uint32_t directoryClusters = 0;  // FAT, exFAT: directory clusters likewise
  ReadCounts sectors;
  bool Any() const { return records != 0 || directoryClusters != 0 || sectors.Lost() != 0; }
};

// "读取时 3 个 MFT 记录无法读取，已跳过；无法读取的扇区 6 个"; empty when
// nothing was lost.
std::u16string ReaderLossText(const ReaderLoss& loss);

// Consecutive failing sectors before the reads skip ahead, and the bounds
// of the stretch passed over.
constexpr Sector64 kBadRunBeforeSkip = 8;
constexpr Sector64 kFirstSkipSectors = 8;
constexpr Sector64 kMaxSkipSectors = Sector64{1} << 17;  // 64 MiB

// Shared by the copies of one DeviceHandle; the analysis threads of a scan
// share a handle, so the state is locked (only failing reads touch it).
class ReadHealth {
 public:
  ReadCounts Counts() const;

  // The end of the stretch being passed over when `sector` lies in it, else
  // `sector` itself.
  Sector64 SkipEnd(Sector64 sector) const;
  // A sector read alone failed: the run grows, and may start a stretch to
  // pass over right after it.
  void NoteBadSector(Sector64 sector);
  // The stretch ends at `end` at the latest: a read that reaches no further
  // than its own last sector tries that one, to learn where the run ends.
  void ClipSkip(Sector64 end);
  // `count` sectors of a stretch were passed over (zeros in the buffer).
  void NoteSkipped(Sector64 count);
  // A read that failed whole is retried sector by sector.
  void NoteRetry();
  // Whether a good sector just ended a stretch; then the run is over, and
  // [from, sector) may be tried backwards (`from`: where the stretch began).
  bool TakeEndedSkip(Sector64 sector, Sector64& from);
  // Sectors passed over that the backward reads gave back, or found bad.
  void NoteRecovered(Sector64 count);
  void NoteBackwardBad();

 private:
  mutable std::mutex lock_;
  ReadCounts counts_;
  Sector64 runEnd_ = 0;     // just past the last sector of the run (bad or passed over)
  Sector64 runLength_ = 0;  // sectors in a row that failed since the last stretch
  Sector64 skip_ = kFirstSkipSectors;
  Sector64 skipFrom_ = 0;   // the stretch [skipFrom_, skipEnd_) is passed over
  Sector64 skipEnd_ = 0;
};

}  // namespace kestrum
