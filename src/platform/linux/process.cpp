#include "platform/process.h"
#include "platform/local_time.h"

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

namespace kestrum::platform {

std::string ExecutablePath() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

const char* PathSeparators() { return "/"; }

bool HasAdministratorRights() { return ::geteuid() == 0; }

std::uint64_t CurrentThreadId() { return static_cast<std::uint64_t>(::syscall(SYS_gettid)); }

std::size_t PageBytes() {
  static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

void* MapPages(std::size_t bytes) {
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void* GrowPages(void* pages, std::size_t oldBytes, std::size_t newBytes) {
  // The kernel moves the pages: never the old and the new block at once.
  void* block = ::mremap(pages, oldBytes, newBytes, MREMAP_MAYMOVE);
  return block == MAP_FAILED ? nullptr : block;
}

void UnmapPages(void* pages, std::size_t bytes) {
  if (pages != nullptr) ::munmap(pages, bytes);
}

void* MapLargePages(std::size_t bytes) {
  // Transparent huge pages cover only 2 MiB-aligned stretches: map a bit
  // more and keep the aligned part.
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  bytes = (bytes + PageBytes() - 1) / PageBytes() * PageBytes();
  void* block = MapPages(bytes + kHuge);
  if (block == nullptr) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t aligned = (start + kHuge - 1) / kHuge * kHuge;
  const std::size_t head = aligned - start;  // the rest of the extra 2 MiB lies past the end
  if (head != 0) ::munmap(block, head);
  ::munmap(reinterpret_cast<void*>(aligned + bytes), kHuge - head);
  ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

bool LocalTime(std::time_t moment, std::tm& out) { return localtime_r(&moment, &out) != nullptr; }

long LocalBiasSecondsNow() {
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return -local.tm_gmtoff;
}

}  // namespace kestrum::platform
