// How a file or device is read fastest in the deep scan's 4 MiB blocks, with
// nothing else done to the bytes: one read at a time; one read at a time with
// posix_fadvise(WILLNEED) for the next blocks; several reads in flight, each
// on a thread of its own. bench/read_modes_bench.sh runs it with the page
// cache dropped before each mode. Buffers are page-aligned, as the scan's.
//   kestrum_read_bench FILE MODE DEPTH   (MODE: single, advise, threads)
// Prints the elapsed seconds.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/page_buffer.h"

using kestrum::PageBuffer;

namespace {

constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

bool ReadBlock(int fd, PageBuffer& buffer, std::uint64_t block) {
  std::size_t done = 0;
  const auto offset = static_cast<off_t>(block * kBlockBytes);
  while (done < kBlockBytes) {
    const ssize_t n = ::pread(fd, buffer.data() + done, kBlockBytes - done, offset + static_cast<off_t>(done));
    if (n < 0) return false;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kestrum_read_bench FILE single|advise|threads DEPTH\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  const std::string mode = argv[2];
  const int depth = std::max(1, std::atoi(argv[3]));
  const auto bytes = static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
  const std::uint64_t blocks = (bytes + kBlockBytes - 1) / kBlockBytes;
  const auto t0 = std::chrono::steady_clock::now();
  if (mode == "threads") {
    std::atomic<std::uint64_t> next{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < depth; ++t) {
      readers.emplace_back([&] {
        PageBuffer buffer(kBlockBytes);
        for (std::uint64_t b = next++; b < blocks; b = next++) ReadBlock(fd, buffer, b);
      });
    }
    for (std::thread& t : readers) t.join();
  } else {
    PageBuffer buffer(kBlockBytes);
    for (std::uint64_t b = 0; b < blocks; ++b) {
      if (mode == "advise" && b + depth < blocks) {
        ::posix_fadvise(fd, static_cast<off_t>((b + depth) * kBlockBytes), kBlockBytes, POSIX_FADV_WILLNEED);
      }
      if (mode == "advise" && b == 0) {
        ::posix_fadvise(fd, 0, static_cast<off_t>(depth * kBlockBytes), POSIX_FADV_WILLNEED);
      }
      ReadBlock(fd, buffer, b);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%.3f\n", seconds);
  ::close(fd);
  return 0;
}
