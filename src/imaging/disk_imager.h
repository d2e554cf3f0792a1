#pragma once
// Copying a disk, a partition or an image once into an image file, the
// careful way for a dying disk: large reads in order first, skipping ahead
// (further each time) where reads fail; then the areas skipped, backwards
// from the end with the same skipping, and what is still left in order;
// then the edges of every failed area sector by sector, from both ends,
// then the rest of it sector by sector; each bad sector tried `retries`
// times in all. The
// rescue map (rescue_map.h) is saved as the copy goes, so the same job run
// again resumes and never reads again what the image already holds. Runs of
// zeros are left as holes of the (sparse) image; unread sectors are zeros.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/device.h"
#include "imaging/rescue_map.h"
#include "run/progress_runner.h"

namespace kestrum {

struct ImagingJob {
  std::u16string source;   // device or image file, opened read-only
  // A part of it only (a volume of a disk image): its first sector and
  // length; sectorCount 0 = the whole source.
  Sector64 firstSector = 0;
  Sector64 sectorCount = 0;
  std::string target;      // the image file
  std::string mapPath;     // the mapfile; "" = target + ".map"
  std::uint32_t retries = 1;  // times each bad sector is tried in all
  std::vector<std::string> mapHeader;  // comment lines for the mapfile
};

// Reads of 64 KiB while copying in order; the skip after a failed one
// starts there and doubles while reads go on failing, up to 1 % of the
// source (at least the first skip, at most 1 GiB).
constexpr Sector64 kImagingReadSectors = 128;
constexpr Sector64 kImagingFirstSkip = 128;
constexpr Sector64 kImagingMaxSkip = Sector64{1} << 21;

class DiskImager {
 public:
  DiskImager() = default;
  ~DiskImager();
  DiskImager(const DiskImager&) = delete;
  DiskImager& operator=(const DiskImager&) = delete;

  // Opens the source, checks the target (not on the source's disk; a new
  // file, or the one an existing map belongs to), and loads the map or
  // starts one. False with the reason, in the user's words.
  bool Open(const ImagingJob& job, std::u16string& problem);
  // The copy itself, run as the worker; stops at the next read when the
  // run state leaves "running" (the map is saved then too).
  void Run();

  const RescueMap& Map() const { return map_; }
  const std::string& MapPath() const { return mapPath_; }
  // Every sector read or tried alone as often as asked.
  bool Complete() const;
  bool Resumed() const { return resumed_; }
  // A write of the image or the map failed; why, in the user's words.
  const std::u16string& Problem() const { return problem_; }
  ImagingStatus Status() const;

 private:
  bool ReadInto(Sector64 first, Sector64 count);
  bool Stopping() const;
  bool Keep(Sector64 first, Sector64 count, bool read);
  void Progress(bool force);
  bool Save();
  Sector64 MaxSkip() const;
  void CopyInOrder();
  void CopyBackwards();
  void CopyRest();
  void Trim();
  void Scrape();
  void RetryBad();

  DeviceHandle source_;
  int target_ = -1;
  std::string targetPath_;
  std::string mapPath_;
  std::vector<std::string> header_;
  std::uint32_t retries_ = 1;
  RescueMap map_;
  bool resumed_ = false;
  bool failed_ = false;
  std::u16string problem_;
  std::uint8_t* buffer_ = nullptr;  // aligned for unbuffered reads
  std::chrono::steady_clock::time_point lastSave_{};
  std::chrono::steady_clock::time_point lastPost_{};
  // The rate: rescued bytes at the start of the current window.
  std::chrono::steady_clock::time_point windowStart_{};
  std::uint64_t windowBytes_ = 0;
  std::uint64_t bytesPerSecond_ = 0;
};

// Runs DiskImager::Run behind the presenter, with "暂停" (which stops and
// keeps the map, as every stop does). True when the run state ended at
// "finished".
bool RunImaging(DiskImager& imager, ProgressPresenter& presenter);

// The lines that end a copy: what was rescued, the unreadable sectors and
// where the map is.
std::u16string ImagingSummaryText(const DiskImager& imager);

}  // namespace kestrum
