#pragma once
// What a folder stores its bytes on, and what a source device reads from, as
// keys that compare equal where the two share storage: whole disks as
// "disk:…" and files as "file:…". On Linux the target is followed through
// its mount, the block device behind it, device-mapper, md and loop devices
// down to whole disks; on Windows through its volume to the disks under that
// volume's extents.

#include <string>
#include <vector>

namespace kestrum::platform {

std::vector<std::string> TargetStorage(const std::u16string& targetPath);
std::vector<std::string> SourceStorage(const std::u16string& devicePath);

}  // namespace kestrum::platform
