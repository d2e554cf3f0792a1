#pragma once
// Whether an export target shares storage with the device being recovered
// from. Writing there could overwrite the very sectors that hold the lost
// data, so the front ends warn (GUI) or refuse (CLI).
//
// The target is followed down to what finally stores its bytes: its mount
// (from /proc/self/mountinfo; FUSE mounts such as ntfs-3g name their device
// there), the block device behind it, that device's whole disk (sysfs),
// the disks under device-mapper or md devices, and the backing file of a
// loop device together with the disk that holds that file. The source is its
// whole disk (or the image file it reads). An image file as the source is
// only at risk when the target is stored inside that very file: writing next
// to an image cannot touch the image's own allocated data.

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

// What a path stores its bytes on, and what a source reads from: whole
// disks as "disk:MAJ:MIN" and files as "file:DEV:INODE".
// The path with its links and dots resolved; the path as given when it
// cannot be (it does not exist yet).
std::string AbsolutePath(const std::string& path);

std::vector<std::string> TargetStorage(const std::string& targetPath);
std::vector<std::string> SourceStorage(const std::string& diskPath);

}  // namespace kestrum
