#include "loop_mount.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/run_command.h"

namespace kestrum::test {

namespace {

bool IsBlockDevice(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::unique_ptr<LoopMount> LoopMount::Create(const std::string& dir, const std::string& fs,
                                             bool partitioned, unsigned megabytes, std::string& why) {
  if (::geteuid() != 0) {
    why = "needs root for loop devices and FUSE mounts";
    return nullptr;
  }
  std::unique_ptr<LoopMount> m(new LoopMount);
  m->image = dir + "/" + fs + (partitioned ? "-disk.img" : ".img");
  m->mountPoint = dir + "/mnt-" + fs;
  std::filesystem::create_directories(m->mountPoint);
  if (RunCommand({"truncate", "-s", std::to_string(megabytes) + "M", m->image}).exitCode != 0) {
    why = "cannot create " + m->image;
    return nullptr;
  }
  if (partitioned &&
      RunCommand({"sh", "-c", "echo 'start=2048, type=7' | sfdisk -q '" + m->image + "'"}).exitCode != 0) {
    why = "sfdisk failed";
    return nullptr;
  }
  std::vector<std::string> attach = {"losetup", "-f", "--show"};
  if (partitioned) attach.push_back("-P");
  attach.push_back(m->image);
  CommandResult loop = RunCommand(attach);
  m->device = Trimmed(loop.out);
  if (loop.exitCode != 0 || m->device.empty()) {
    why = "losetup failed: " + loop.err;
    return nullptr;
  }
  m->partitions_ = partitioned;
  m->volume = partitioned ? m->device + "p1" : m->device;
  // Inside containers the partition node may need asking for.
  for (int i = 0; i < 30 && !IsBlockDevice(m->volume); ++i) {
    RunCommand({"partx", "-a", m->device});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!IsBlockDevice(m->volume)) {
    why = "no partition device " + m->volume;
    return nullptr;
  }
  CommandResult made = fs == "ntfs" ? RunCommand({"mkfs.ntfs", "-F", "-Q", "-q", m->volume})
                                    : RunCommand({"mkfs.exfat", m->volume});
  if (made.exitCode != 0) {
    why = "mkfs failed: " + made.err;
    return nullptr;
  }
  CommandResult mount = fs == "ntfs" ? RunCommand({"ntfs-3g", m->volume, m->mountPoint})
                                     : RunCommand({"mount.exfat-fuse", m->volume, m->mountPoint});
  if (mount.exitCode != 0) {
    why = "FUSE mount failed: " + mount.err;
    return nullptr;
  }
  m->mounted_ = true;
  for (int i = 0; i < 30 && RunCommand({"mountpoint", "-q", m->mountPoint}).exitCode != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return m;
}

LoopMount::~LoopMount() {
  if (mounted_ && RunCommand({"umount", mountPoint}).exitCode != 0) RunCommand({"umount", "-l", mountPoint});
  if (!device.empty()) {
    if (partitions_) RunCommand({"partx", "-d", device});
    RunCommand({"losetup", "-d", device});
  }
}

}  // namespace kestrum::test
