#include "platform/fault_injection.h"

#ifdef KESTRUM_FAULT_INJECTION

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrum::testing {

namespace {

struct Fault {
  dev_t device;
  ino_t inode;
  std::uint64_t first;
  std::uint64_t count;
  bool write;
};

std::mutex& FaultLock() {
  static std::mutex lock;
  return lock;
}

std::vector<Fault>& Faults() {
  static std::vector<Fault> faults;
  return faults;
}

bool Touches(const Fault& f, const struct stat& st, std::uint64_t offset, std::uint64_t bytes) {
  if (f.device != st.st_dev || f.inode != st.st_ino || bytes == 0) return false;
  std::uint64_t firstSector = offset / 512;
  std::uint64_t lastSector = (offset + bytes - 1) / 512;
  return firstSector < f.first + f.count && lastSector >= f.first;
}

void AddFault(const std::string& path, std::uint64_t first, std::uint64_t count, bool write) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return;
  std::lock_guard<std::mutex> lock(FaultLock());
  Faults().push_back({st.st_dev, st.st_ino, first, count, write});
}

// A test that runs kestrum-cli names its faults in the environment:
// KESTRUM_TEST_FAULTS="read:FIRST:COUNT:PATH;write:FIRST:COUNT:PATH".
void AddEnvironmentFaults() {
  const char* faults = std::getenv("KESTRUM_TEST_FAULTS");
  if (faults == nullptr) return;
  std::string_view rest(faults);
  while (!rest.empty()) {
    std::string_view item = rest.substr(0, rest.find(';'));
    rest.remove_prefix(std::min(rest.size(), item.size() + 1));
    unsigned long long first = 0, count = 0;
    char kind[8] = {};
    int used = 0;
    std::string text(item);
    if (std::sscanf(text.c_str(), "%7[a-z]:%llu:%llu:%n", kind, &first, &count, &used) != 3 || used == 0) continue;
    std::string_view name(kind);
    if (name == "read" || name == "write") AddFault(text.substr(static_cast<std::size_t>(used)), first, count, name == "write");
  }
}

void LoadEnvironmentOnce() {
  static std::once_flag once;
  std::call_once(once, AddEnvironmentFaults);
}

bool HitsFault(int fd, std::uint64_t offset, std::uint64_t bytes, bool write) {
  LoadEnvironmentOnce();
  std::lock_guard<std::mutex> lock(FaultLock());
  if (Faults().empty() || bytes == 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  for (const Fault& f : Faults()) {
    if (f.write == write && Touches(f, st, offset, bytes)) return true;
  }
  return false;
}

struct Gate {
  std::mutex lock;
  std::condition_variable opened;
  std::optional<Fault> closed;
  std::uint64_t held = 0;
};

Gate& TheGate() {
  static Gate gate;
  return gate;
}

struct ReadRecord {
  std::mutex lock;
  bool on = false;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reads;
};

ReadRecord& TheReadRecord() {
  static ReadRecord record;
  return record;
}

std::atomic<std::uint64_t>& FaultedReadCounter() {
  static std::atomic<std::uint64_t> reads{0};
  return reads;
}

}  // namespace

void InjectReadFault(const std::string& path, std::uint64_t first, std::uint64_t count) {
  AddFault(path, first, count, false);
}

void InjectWriteFault(const std::string& path, std::uint64_t first, std::uint64_t count) {
  AddFault(path, first, count, true);
}

void ClearReadFaults() {
  std::lock_guard<std::mutex> lock(FaultLock());
  Faults().clear();
}

bool ReadHitsFault(int fd, std::uint64_t offset, std::uint64_t bytes) {
  if (!HitsFault(fd, offset, bytes, false)) return false;
  ++FaultedReadCounter();
  return true;
}

bool WriteHitsFault(int fd, std::uint64_t offset, std::uint64_t bytes) {
  return HitsFault(fd, offset, bytes, true);
}

std::uint64_t FaultedReads() { return FaultedReadCounter().load(); }

void RecordReads(bool on) {
  ReadRecord& r = TheReadRecord();
  std::lock_guard<std::mutex> lock(r.lock);
  r.on = on;
  r.reads.clear();
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> TakeRecordedReads() {
  ReadRecord& r = TheReadRecord();
  std::lock_guard<std::mutex> lock(r.lock);
  return std::move(r.reads);
}

void NoteRead(std::uint64_t offset, std::uint64_t bytes) {
  {
    ReadRecord& r = TheReadRecord();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.on) r.reads.emplace_back(offset, bytes);
  }
  static const int log = [] {
    const char* path = std::getenv("KESTRUM_TEST_READ_LOG");
    return path == nullptr ? -1 : ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }();
  if (log < 0) return;
  char line[48];
  int n = std::snprintf(line, sizeof line, "%llu %llu\n", static_cast<unsigned long long>(offset),
                        static_cast<unsigned long long>(bytes));
  // One write per line: O_APPEND keeps lines of concurrent readers whole. A
  // line that cannot be written only makes the test that asked for it fail.
  if (n > 0 && ::write(log, line, static_cast<std::size_t>(n)) != n) return;
}

void CloseReadGate(const std::string& path, std::uint64_t first, std::uint64_t count) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return;
  Gate& gate = TheGate();
  std::lock_guard<std::mutex> lock(gate.lock);
  gate.closed = Fault{st.st_dev, st.st_ino, first, count, false};
  gate.held = 0;
}

void OpenReadGate() {
  Gate& gate = TheGate();
  {
    std::lock_guard<std::mutex> lock(gate.lock);
    gate.closed.reset();
  }
  gate.opened.notify_all();
}

std::uint64_t ReadsHeldAtGate() {
  Gate& gate = TheGate();
  std::lock_guard<std::mutex> lock(gate.lock);
  return gate.held;
}

void WaitAtReadGate(int fd, std::uint64_t offset, std::uint64_t bytes) {
  Gate& gate = TheGate();
  std::unique_lock<std::mutex> lock(gate.lock);
  if (!gate.closed) return;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !Touches(*gate.closed, st, offset, bytes)) return;
  ++gate.held;
  gate.opened.wait_for(lock, std::chrono::seconds(60), [&] { return !gate.closed; });
}

}  // namespace kestrum::testing

#endif
