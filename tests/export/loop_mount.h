#pragma once
// A disk image attached to a loop device and mounted through FUSE (ntfs-3g
// or exfat-fuse), for tests that need a real mount. Needs root; everything
// is unmounted and detached again when the object goes.

#include <memory>
#include <string>

namespace kestrum::test {

class LoopMount {
 public:
  // An image of `megabytes` in `dir`; with `partitioned`, one MBR partition
  // from sector 2048 holds the file system ("ntfs" or "exfat"). Null, with
  // the reason in `why`, when the machine cannot do it.
  static std::unique_ptr<LoopMount> Create(const std::string& dir, const std::string& fs,
                                           bool partitioned, unsigned megabytes, std::string& why);
  ~LoopMount();
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;

  std::string image;       // the image file
  std::string device;      // /dev/loopN
  std::string volume;      // the device holding the file system: /dev/loopN or /dev/loopNp1
  std::string mountPoint;

 private:
  LoopMount() = default;
  bool mounted_ = false;
  bool partitions_ = false;
};

}  // namespace kestrum::test
