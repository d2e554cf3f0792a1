#pragma once
// The mounts of this process's namespace, as /proc/self/mountinfo lists them:
// how a folder is followed down to the device that stores it.

#include <string>
#include <vector>

namespace kestrum {

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string mountPoint;  // unescaped
  std::string fsType;
  std::string source;      // unescaped; "/dev/loop0", "tmpfs", …
};

// The entries of a mountinfo text, in order; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The entry whose mount point is the longest whole-component prefix of the
// absolute path `realPath`; the later entry wins a tie (it covers the
// earlier one). -1 when none matches.
int FindMountOf(const std::vector<MountEntry>& mounts, const std::string& realPath);

}  // namespace kestrum
