// How a file or device is read fastest in the deep scan's 4 MiB blocks: one
// read at a time; one read at a time with posix_fadvise(WILLNEED) for the
// next blocks; several reads in flight, each on a thread of its own, through
// the page cache (threads), past it (direct, O_DIRECT), or without a copy
// (map: each block mapped, its pages populated by the thread), or in
// 256 KiB pieces into a buffer that stays in the core's cache (pieces). With `touch`
// every cache line of a block is read once it is there, as the analysis
// does; the mapped blocks are only paid for then. bench/read_modes_bench.sh
// runs it cold and warm. Buffers are page-aligned, as the scan's.
//   kestrum_read_bench FILE MODE DEPTH [touch]
//     (MODE: single, advise, threads, direct, map, pieces)
// Prints the elapsed seconds.

#include <fcntl.h>
#include <sys/mman.h>
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

// Reads one word of every cache line, as a stand-in for the analysis.
std::uint64_t Touch(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; i += 64) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    sum += word;
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "touch")) {
    std::fprintf(stderr, "usage: kestrum_read_bench FILE single|advise|threads|direct|map|pieces DEPTH [touch]\n");
    return 2;
  }
  const std::string mode = argv[2];
  const bool touch = argc == 5;
  const int fd = ::open(argv[1], mode == "direct" ? O_RDONLY | O_DIRECT : O_RDONLY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  const int depth = std::max(1, std::atoi(argv[3]));
  const auto bytes = static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
  const std::uint64_t blocks = (bytes + kBlockBytes - 1) / kBlockBytes;
  std::atomic<std::uint64_t> sum{0};
  const auto t0 = std::chrono::steady_clock::now();
  // `depth` threads, each running `reader` over the blocks it takes from `next`.
  std::atomic<std::uint64_t> next{0};
  auto onThreads = [&](auto reader) {
    std::vector<std::thread> readers;
    for (int t = 0; t < depth; ++t) readers.emplace_back(reader);
    for (std::thread& t : readers) t.join();
  };
  if (mode == "threads" || mode == "direct") {
    onThreads([&] {
      PageBuffer buffer(kBlockBytes);
      for (std::uint64_t b = next++; b < blocks; b = next++) {
        ReadBlock(fd, buffer, b);
        if (touch) sum += Touch(buffer.data(), kBlockBytes);
      }
    });
  } else if (mode == "pieces") {
    // Each block read in 256 KiB pieces into one buffer that stays in the
    // core's cache, touched piece by piece.
    constexpr std::size_t kPiece = std::size_t{256} << 10;
    onThreads([&] {
      PageBuffer buffer(kPiece);
      for (std::uint64_t b = next++; b < blocks; b = next++) {
        for (std::size_t at = 0; at < kBlockBytes; at += kPiece) {
          if (::pread(fd, buffer.data(), kPiece, static_cast<off_t>(b * kBlockBytes + at)) <= 0) break;
          if (touch) sum += Touch(buffer.data(), kPiece);
        }
      }
    });
  } else if (mode == "map") {
    onThreads([&] {
      for (std::uint64_t b = next++; b < blocks; b = next++) {
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, bytes - b * kBlockBytes));
        void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, static_cast<off_t>(b * kBlockBytes));
        if (view == MAP_FAILED) std::abort();
        if (touch) sum += Touch(static_cast<const std::uint8_t*>(view), size);
        ::munmap(view, size);
      }
    });
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
      if (touch) sum += Touch(buffer.data(), kBlockBytes);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%.3f\n", seconds);
  if (sum.load() == 1) std::fprintf(stderr, "(sum)\n");  // keeps the touches
  ::close(fd);
  return 0;
}
