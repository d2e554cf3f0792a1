#pragma once
// An image attached to a loop device for one test, detached again when the
// object goes. Needs root.

#include <cstdint>
#include <string>

namespace kestrum::test {

struct LoopOptions {
  bool readOnly = true;
  bool partitions = false;          // the kernel's partitions of the image as loopNpM
  std::uint32_t sectorSize = 512;   // the device's logical sector size
};

class LoopDevice {
 public:
  LoopDevice(const std::string& image, const LoopOptions& options = {});
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  // /dev/loopN, or empty with the reason in error().
  const std::string& device() const { return device_; }
  const std::string& error() const { return error_; }

 private:
  std::string device_;
  std::string error_;
};

}  // namespace kestrum::test
