// The deep scan's analysis alone, with no read in the way: the first blocks
// of an image are held in memory and classified again and again on one
// thread (CollectBlockFindings, as the scan and `classify` run it). Each
// block is first copied into one 4 MiB buffer, as the scan's reader copies
// it out of the page cache, and only its classification is timed. Tells
// the classifier's speed apart from the disk's and the threads'.
//   kestrum_classifier_bench IMAGE [MIB]   (MIB: how much of the image, 512)
// Prints MB/s over the best of five passes, and the findings of one pass.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/text.h"
#include "disk/device.h"
#include "scan/block_findings.h"

using namespace kestrum;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kestrum_classifier_bench IMAGE [MIB]\n");
    return 2;
  }
  const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 512;
  DeviceHandle device;
  if (!OpenDevice(FromUtf8(argv[1]), device)) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  constexpr std::uint32_t kBlock = 8192;
  const std::size_t blocks = std::max<std::size_t>(1, mib / 4);
  std::vector<std::uint8_t> bytes(blocks * kBlock * kSectorSize);
  for (std::size_t b = 0; b < blocks; ++b) {
    std::span<std::uint8_t> block(bytes.data() + b * kBlock * kSectorSize, kBlock * kSectorSize);
    if (!ReadSectors(device, block, b * kBlock, kBlock)) std::fill(block.begin(), block.end(), std::uint8_t{0});
  }
  double best = 0;
  std::size_t found = 0;
  std::vector<ScanFinding> findings;
  std::vector<std::uint8_t> slot(kBlock * kSectorSize);
  for (int pass = 0; pass < 5; ++pass) {
    findings.clear();
    double s = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      std::copy_n(bytes.data() + b * kBlock * kSectorSize, slot.size(), slot.data());
      const auto t0 = std::chrono::steady_clock::now();
      CollectBlockFindings(slot, b * kBlock, device, findings);
      s += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    best = std::max(best, static_cast<double>(bytes.size()) / 1e6 / s);
    found = findings.size();
  }
  CloseDevice(device);
  std::printf("%.0f MB/s, %zu findings in %zu MiB\n", best, found, blocks * 4);
  return 0;
}
