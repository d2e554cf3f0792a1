#pragma once
// The rows of the device page, as text: the same columns in the desktop
// program's list and in the command line's listing.

#include <array>
#include <string>
#include <vector>

#include "disk/disk_info.h"
#include "disk/volume_descriptor.h"
#include "discovery/discovery.h"

namespace kestrum {

inline constexpr std::array<const char16_t*, 5> kVolumeColumns = {u"盘符", u"分区卷标", u"文件系统",
                                                                  u"分区容量", u"所属磁盘"};
inline constexpr std::array<const char16_t*, 2> kDiskColumns = {u"磁盘描述", u"磁盘容量"};

using VolumeRow = std::array<std::u16string, 5>;
using DiskRow = std::array<std::u16string, 2>;

// Name, label, file system, "%.2f GB" size, disk description; empty texts
// show as a single blank.
VolumeRow FormatVolumeRow(const VolumeDescriptor& volume);
DiskRow FormatDiskRow(const DiskInfo& disk);

// Why a device would not open: "权限不足" for a user without the rights,
// else the system's own text for the errno.
std::u16string OpenErrorText(int error);
// One line for each device that would not open, and, when rights were
// lacking, a last line that says reading disks needs root.
std::vector<std::u16string> UnopenedDeviceLines(const UnopenedDevices& devices);

}  // namespace kestrum
