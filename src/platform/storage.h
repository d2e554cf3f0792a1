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

// The whole disk a partition device lies on: "/dev/sda" for "/dev/sda1";
// "\\.\PhysicalDrive0" for "\\.\C:" (the volume itself when the system
// does not tell). Empty for a whole disk, a file, or what is no device.
std::u16string DiskOfPartition(const std::u16string& path);

}  // namespace kestrum::platform
