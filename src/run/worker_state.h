#pragma once
// The one block of state that worker threads and the progress display share:
// a run state polled without a lock, a count of live workers, and a single
// status slot that holds only the latest message.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace kestrum {

enum class RunState : std::int32_t {
  kRunning = 0,
  kAbort = 1,     // "退出", or a worker that found nothing to do
  kFinished = 2,  // a worker ended normally, or "暂停"
};

enum class StatusKind : std::int32_t {
  kNone = 0,
  kParse = 1,        // reading a file system
  kScan = 2,         // deep scan
  kExport = 3,       // copying files out
  kVolumeFound = 4,  // volume listing
  kReadError = 5,    // a read inside a device failed
  kImaging = 6,      // copying a disk into an image file
};

struct ParseStatus {
  std::uint32_t files = 0;
  std::uint32_t folders = 0;
  std::uint32_t deletedFiles = 0;
  std::uint32_t deletedFolders = 0;
  // Where the reader knows its work ahead (the MFT's records): how far it is.
  std::uint64_t recordsRead = 0;
  std::uint64_t recordsToRead = 0;
};

struct ScanStatus {
  std::uint64_t sectorsToScan = 0;
  std::uint64_t sectorsScanned = 0;
  std::uint32_t signatureFiles = 0;
  std::uint32_t extendedTables = 0;
  std::uint32_t ntfsBootSectors = 0;
  std::uint32_t fatBootSectors = 0;
  std::uint32_t exfatBootSectors = 0;
  std::uint32_t mftRecords = 0;
  std::uint32_t fatDirSectors = 0;
  std::uint32_t ntfsIndexRecords = 0;
  std::uint32_t exfatDirSectors = 0;
};

constexpr std::size_t kStatusNameChars = 260;

struct ExportStatus {
  std::uint32_t filesToExport = 0;
  std::uint32_t filesExported = 0;
  std::uint64_t bytesToExport = 0;
  std::uint64_t bytesExported = 0;
  std::uint64_t currentFileBytes = 0;
  std::uint64_t currentFileCopied = 0;
  std::array<char16_t, kStatusNameChars> currentName{};
};

struct VolumeFoundStatus {
  std::uint32_t volumesFound = 0;
  // The volume as the device list names it: the partition device (sda1) or
  // the image and its partition number (disk.img#2).
  std::array<char16_t, 64> volumeName{};
  std::array<char16_t, 64> fsName{};
  std::array<char16_t, 64> label{};
};

struct ReadErrorStatus {
  std::uint64_t sector = 0;
  std::uint32_t count = 0;
  std::array<char16_t, kStatusNameChars> device{};
};

struct ImagingStatus {
  std::uint64_t sourceBytes = 0;
  std::uint64_t rescuedBytes = 0;
  std::uint64_t badSectors = 0;   // tried alone and failed
  std::uint64_t badAreas = 0;     // runs of them
  std::uint64_t pendingBytes = 0;  // not tried alone yet
  std::uint64_t bytesPerSecond = 0;  // rescued lately; 0 until it can be told
  std::uint64_t secondsLeft = 0;     // at that rate; 0 when unknown
  char phase = '?';                  // as the map's status line says
  std::uint32_t pass = 1;
};

// A fixed-size record, copied whole; only the payload of `kind` is meaningful.
struct StatusMessage {
  StatusKind kind = StatusKind::kNone;
  ParseStatus parse;
  ScanStatus scan;
  ExportStatus exportStatus;
  VolumeFoundStatus volume;
  ReadErrorStatus readError;
  ImagingStatus imaging;
};

class WorkerState {
 public:
  std::atomic<RunState> runState{RunState::kRunning};
  std::atomic<std::int32_t> liveWorkers{0};
  // Set while a progress display exists; it keeps two long operations apart.
  std::atomic<bool> progressOpen{false};

  void Post(const StatusMessage& message);
  bool Take(StatusMessage& out);
  void ClearSlot();

 private:
  std::mutex statusLock_;
  StatusMessage slot_;
};

// The process-wide instance.
WorkerState& TheWorkerState();

void BeginWorker(const char* threadName);
void EndWorker(const char* threadName);
void PostStatus(const StatusMessage& message);
bool TakeStatus(StatusMessage& out);
void RequestAbort();
void RequestFinish();

inline RunState CurrentRunState() { return TheWorkerState().runState.load(std::memory_order_relaxed); }
inline bool AbortRequested() { return CurrentRunState() == RunState::kAbort; }

}  // namespace kestrum
