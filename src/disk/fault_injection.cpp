#include "disk/fault_injection.h"

#ifdef KESTRUM_FAULT_INJECTION

#include <sys/stat.h>

#include <mutex>
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

void AddFault(const std::string& path, std::uint64_t first, std::uint64_t count, bool write) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return;
  std::lock_guard<std::mutex> lock(FaultLock());
  Faults().push_back({st.st_dev, st.st_ino, first, count, write});
}

bool HitsFault(int fd, std::uint64_t offset, std::uint64_t bytes, bool write) {
  std::lock_guard<std::mutex> lock(FaultLock());
  if (Faults().empty() || bytes == 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  std::uint64_t firstSector = offset / 512;
  std::uint64_t lastSector = (offset + bytes - 1) / 512;
  for (const Fault& f : Faults()) {
    if (f.write != write || f.device != st.st_dev || f.inode != st.st_ino) continue;
    if (firstSector < f.first + f.count && lastSector >= f.first) return true;
  }
  return false;
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
  return HitsFault(fd, offset, bytes, false);
}

bool WriteHitsFault(int fd, std::uint64_t offset, std::uint64_t bytes) {
  return HitsFault(fd, offset, bytes, true);
}

}  // namespace kestrum::testing

#endif
