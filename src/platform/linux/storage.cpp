#include "platform/storage.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "base/text.h"
#include "platform/linux/mount_info.h"

namespace kestrum {

namespace {

// Stacks deeper than this (loop on dm on loop on …) are not followed further.
constexpr int kMaxStorageDepth = 12;

// Fields of a mountinfo line before the " - " separator, and after it.
namespace mountinfo {
constexpr std::size_t kDevice = 2;      // "MAJ:MIN"
constexpr std::size_t kMountPoint = 4;
constexpr std::size_t kFixedFields = 6;  // up to the mount options
constexpr std::size_t kFsType = 0;       // after the separator
constexpr std::size_t kSource = 1;
}  // namespace mountinfo

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const char* p = text.c_str() + i + 1;
      bool octal = p[0] >= '0' && p[0] <= '3' && p[1] >= '0' && p[1] <= '7' && p[2] >= '0' &&
                   p[2] <= '7';
      if (octal) {
        out += static_cast<char>((p[0] - '0') * 64 + (p[1] - '0') * 8 + (p[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

bool ParseDeviceNumber(const std::string& text, unsigned& major, unsigned& minor) {
  std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
  char* end = nullptr;
  unsigned long a = std::strtoul(text.c_str(), &end, 10);
  if (end != text.c_str() + colon) return false;
  unsigned long b = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' && *end != '\n') return false;
  major = static_cast<unsigned>(a);
  minor = static_cast<unsigned>(b);
  return true;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  std::free(real);
  return out;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string Parent(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string Basename(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DiskKey(unsigned major, unsigned minor) {
  return "disk:" + std::to_string(major) + ":" + std::to_string(minor);
}

std::string FileKey(const struct stat& st) {
  return "file:" + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Collects what a path, a block device or a file finally stores its bytes on.
class StorageWalk {
 public:
  // `followFiles`: a file found on the way also counts with the disk that
  // holds it (true for a target, whose writes land there; false for a
  // source, which only reads the file).
  explicit StorageWalk(bool followFiles) : followFiles_(followFiles) {}

  void AddBlock(dev_t device, int depth);
  void AddFile(const struct stat& st, int depth);
  void AddFileSystemOf(dev_t device, int depth);
  void AddMount(const MountEntry& mount, int depth);
  void AddSourceName(const std::string& source, int depth);

  std::vector<MountEntry>& Mounts() {
    if (!mountsRead_) {
      std::ifstream in("/proc/self/mountinfo");
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      mounts_ = ParseMountInfo(text);
      mountsRead_ = true;
    }
    return mounts_;
  }

  std::vector<std::string> Result() const { return {found_.begin(), found_.end()}; }

 private:
  bool followFiles_;
  bool mountsRead_ = false;
  std::vector<MountEntry> mounts_;
  std::set<std::string> found_;
  std::set<std::string> visited_;
};

void StorageWalk::AddBlock(dev_t device, int depth) {
  if (depth > kMaxStorageDepth) return;
  const unsigned major = ::major(device);
  const unsigned minor = ::minor(device);
  std::string node = RealPath("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
  if (node.empty()) {
    found_.insert(DiskKey(major, minor));
    return;
  }
  // A partition's directory sits inside its disk's.
  std::string whole = Exists(node + "/partition") ? Parent(node) : node;
  unsigned wholeMajor = major;
  unsigned wholeMinor = minor;
  ParseDeviceNumber(ReadFirstLine(whole + "/dev"), wholeMajor, wholeMinor);
  found_.insert(DiskKey(wholeMajor, wholeMinor));
  if (!visited_.insert(node).second) return;
  // A loop device stores its bytes in its backing file.
  std::string backing = ReadFirstLine(whole + "/loop/backing_file");
  const std::string deleted = " (deleted)";
  if (backing.size() > deleted.size() &&
      backing.compare(backing.size() - deleted.size(), deleted.size(), deleted) == 0) {
    backing.resize(backing.size() - deleted.size());
  }
  struct stat st {};
  if (!backing.empty() && ::stat(backing.c_str(), &st) == 0) AddFile(st, depth + 1);
  // Device-mapper and md devices store theirs on the devices under them.
  for (const std::string& dir : {node, whole}) {
    for (const std::string& slave : ListDirectory(dir + "/slaves")) {
      unsigned a = 0;
      unsigned b = 0;
      if (ParseDeviceNumber(ReadFirstLine(dir + "/slaves/" + slave + "/dev"), a, b)) {
        AddBlock(::makedev(a, b), depth + 1);
      }
    }
    if (whole == node) break;
  }
}

void StorageWalk::AddFile(const struct stat& st, int depth) {
  found_.insert(FileKey(st));
  if (followFiles_) AddFileSystemOf(st.st_dev, depth + 1);
}

void StorageWalk::AddFileSystemOf(dev_t device, int depth) {
  if (depth > kMaxStorageDepth) return;
  if (::major(device) != 0) {
    AddBlock(device, depth);
    return;
  }
  // Anonymous device numbers (FUSE, btrfs, tmpfs): the mount says what lies below.
  const std::vector<MountEntry>& mounts = Mounts();
  for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
    if (it->major == ::major(device) && it->minor == ::minor(device)) {
      AddSourceName(it->source, depth + 1);
      return;
    }
  }
}

void StorageWalk::AddMount(const MountEntry& mount, int depth) {
  if (mount.major != 0) {
    AddBlock(::makedev(mount.major, mount.minor), depth);
  } else {
    AddSourceName(mount.source, depth);
  }
}

void StorageWalk::AddSourceName(const std::string& source, int depth) {
  if (depth > kMaxStorageDepth || source.empty() || source[0] != '/') return;
  struct stat st {};
  if (::stat(source.c_str(), &st) == 0) {
    if (S_ISBLK(st.st_mode)) {
      AddBlock(st.st_rdev, depth + 1);
    } else if (S_ISREG(st.st_mode)) {
      AddFile(st, depth + 1);  // a FUSE driver reading an image file
    }
    return;
  }
  // The device node may be missing from this mount namespace's /dev.
  if (source.compare(0, 5, "/dev/") == 0) {
    unsigned a = 0;
    unsigned b = 0;
    if (ParseDeviceNumber(ReadFirstLine("/sys/class/block/" + Basename(source) + "/dev"), a, b)) {
      AddBlock(::makedev(a, b), depth + 1);
    }
  }
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::vector<std::string> before;
    std::vector<std::string> after;
    std::string word;
    bool separated = false;
    while (words >> word) {
      if (!separated && word == "-" && before.size() >= mountinfo::kFixedFields) {
        separated = true;
      } else {
        (separated ? after : before).push_back(word);
      }
    }
    if (!separated || after.size() <= mountinfo::kSource) continue;
    MountEntry entry;
    if (!ParseDeviceNumber(before[mountinfo::kDevice], entry.major, entry.minor)) continue;
    entry.mountPoint = Unescape(before[mountinfo::kMountPoint]);
    entry.fsType = after[mountinfo::kFsType];
    entry.source = Unescape(after[mountinfo::kSource]);
    if (entry.mountPoint.empty() || entry.mountPoint[0] != '/') continue;
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

int FindMountOf(const std::vector<MountEntry>& mounts, const std::string& realPath) {
  int best = -1;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < mounts.size(); ++i) {
    const std::string& point = mounts[i].mountPoint;
    bool covers = point == "/" ||
                  (realPath.compare(0, point.size(), point) == 0 &&
                   (realPath.size() == point.size() || realPath[point.size()] == '/'));
    if (!covers) continue;
    std::size_t length = point == "/" ? 0 : point.size();
    if (best < 0 || length >= bestLength) {
      best = static_cast<int>(i);
      bestLength = length;
    }
  }
  return best;
}

namespace platform {

std::u16string DiskOfPartition(const std::u16string& path) {
  struct stat st {};
  if (::stat(ToUtf8(path).c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
  const std::string node = RealPath("/sys/dev/block/" + std::to_string(::major(st.st_rdev)) + ":" +
                                    std::to_string(::minor(st.st_rdev)));
  // A partition's directory sits inside its disk's.
  if (node.empty() || !Exists(node + "/partition")) return {};
  return FromUtf8("/dev/" + Basename(Parent(node)));
}

std::vector<std::string> TargetStorage(const std::u16string& target) {
  const std::string targetPath = ToUtf8(target);
  std::string real = RealPath(targetPath.empty() ? "." : targetPath);
  if (real.empty()) return {};
  StorageWalk walk(true);
  const std::vector<MountEntry>& mounts = walk.Mounts();
  int mount = FindMountOf(mounts, real);
  if (mount >= 0) walk.AddMount(mounts[static_cast<std::size_t>(mount)], 0);
  // The file system's own device number says the same where it is a real
  // one, and still answers when mountinfo cannot be read.
  struct stat st {};
  if (::stat(real.c_str(), &st) == 0) walk.AddFileSystemOf(st.st_dev, 0);
  return walk.Result();
}

std::vector<std::string> SourceStorage(const std::u16string& devicePath) {
  const std::string diskPath = ToUtf8(devicePath);
  struct stat st {};
  if (diskPath.empty() || ::stat(diskPath.c_str(), &st) != 0) return {};
  StorageWalk walk(false);
  if (S_ISBLK(st.st_mode)) {
    walk.AddBlock(st.st_rdev, 0);
  } else if (S_ISREG(st.st_mode)) {
    walk.AddFile(st, 0);
  }
  return walk.Result();
}

}  // namespace platform
}  // namespace kestrum
