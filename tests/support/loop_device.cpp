#include "support/loop_device.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/run_command.h"

namespace kestrum::test {

LoopDevice::LoopDevice(const std::string& image, const LoopOptions& options) {
  std::vector<std::string> argv = {"losetup", "--find", "--show"};
  if (options.readOnly) argv.push_back("--read-only");
  if (options.partitions) argv.push_back("--partscan");
  if (options.sectorSize != 512) argv.push_back("--sector-size=" + std::to_string(options.sectorSize));
  argv.push_back(image);
  auto r = RunCommand(argv);
  if (r.exitCode != 0) {
    error_ = "losetup failed: " + r.err;
    return;
  }
  device_ = r.out.substr(0, r.out.find('\n'));
  if (!options.partitions) return;
  // Some kernels leave the partitions to user space.
  std::string name = std::filesystem::path(device_).filename().string();
  if (!std::filesystem::exists("/sys/block/" + name + "/" + name + "p1")) {
    RunCommand({"partx", "--add", device_});
  }
  for (int i = 0; i < 50 && !std::filesystem::exists(device_ + "p1"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

LoopDevice::~LoopDevice() {
  if (!device_.empty()) RunCommand({"losetup", "--detach", device_});
}

}  // namespace kestrum::test
