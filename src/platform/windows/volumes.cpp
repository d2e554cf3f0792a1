#include "platform/windows/volumes.h"

#include "base/text.h"
#include "platform/windows/win32.h"

#include <winioctl.h>

#include <algorithm>

namespace kestrum::platform::win32 {

namespace {

std::vector<std::u16string> MountPointsOf(const std::wstring& guidPath) {
  std::vector<std::u16string> points;
  DWORD length = 0;
  GetVolumePathNamesForVolumeNameW(guidPath.c_str(), nullptr, 0, &length);
  if (length == 0) return points;
  std::wstring names(length, L'\0');
  if (!GetVolumePathNamesForVolumeNameW(guidPath.c_str(), names.data(), length, &length)) return points;
  for (const wchar_t* p = names.c_str(); *p != L'\0'; p += wcslen(p) + 1) points.push_back(Narrow16(p));
  return points;
}

std::vector<VolumeExtentRecord> ExtentsOf(const std::wstring& guidPath) {
  std::vector<VolumeExtentRecord> extents;
  std::wstring device = guidPath;
  if (!device.empty() && device.back() == L'\\') device.pop_back();
  HANDLE handle = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return extents;
  std::string answer;
  if (Control(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer) &&
      answer.size() >= sizeof(VOLUME_DISK_EXTENTS)) {
    const auto* list = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(answer.data());
    const std::size_t fits = (answer.size() - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
    for (DWORD i = 0; i < list->NumberOfDiskExtents && i < fits; ++i) {
      const DISK_EXTENT& e = list->Extents[i];
      extents.push_back({e.DiskNumber, static_cast<std::uint64_t>(e.StartingOffset.QuadPart),
                         static_cast<std::uint64_t>(e.ExtentLength.QuadPart)});
    }
  }
  CloseHandle(handle);
  return extents;
}

}  // namespace

std::vector<VolumeRecord> ListVolumes() {
  std::vector<VolumeRecord> volumes;
  wchar_t name[MAX_PATH + 1] = {};
  HANDLE find = FindFirstVolumeW(name, MAX_PATH);
  if (find == INVALID_HANDLE_VALUE) return volumes;
  do {
    VolumeRecord volume;
    volume.guidPath = Narrow16(name);
    volume.mountPoints = MountPointsOf(name);
    volume.extents = ExtentsOf(name);
    volumes.push_back(std::move(volume));
  } while (FindNextVolumeW(find, name, MAX_PATH));
  FindVolumeClose(find);
  return volumes;
}

std::vector<LayoutPartition> ReadLayout(void* diskHandle) {
  std::vector<LayoutPartition> layout;
  std::string answer;
  if (!Control(static_cast<HANDLE>(diskHandle), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, answer) ||
      answer.size() < sizeof(DRIVE_LAYOUT_INFORMATION_EX)) {
    return layout;
  }
  const auto* info = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(answer.data());
  const std::size_t fits =
      (answer.size() - offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)) / sizeof(PARTITION_INFORMATION_EX);
  for (DWORD i = 0; i < info->PartitionCount && i < fits; ++i) {
    const PARTITION_INFORMATION_EX& p = info->PartitionEntry[i];
    if (p.PartitionNumber == 0 || p.PartitionLength.QuadPart <= 0) continue;  // unused slots, containers
    layout.push_back({static_cast<int>(p.PartitionNumber), static_cast<std::uint64_t>(p.StartingOffset.QuadPart),
                      static_cast<std::uint64_t>(p.PartitionLength.QuadPart)});
  }
  return layout;
}

std::u16string DriveLetterOf(const VolumeRecord& volume) {
  for (const std::u16string& point : volume.mountPoints) {
    if (point.size() == 3 && point[1] == u':' && point[2] == u'\\' &&
        ((point[0] >= u'A' && point[0] <= u'Z') || (point[0] >= u'a' && point[0] <= u'z'))) {
      return point.substr(0, 2);
    }
  }
  return {};
}

std::u16string VolumeDevicePath(const VolumeRecord& volume) {
  const std::u16string letter = DriveLetterOf(volume);
  if (!letter.empty()) return u"\\\\.\\" + letter;
  std::u16string path = volume.guidPath;
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

std::vector<SystemPartition> PartitionsOfDisk(std::uint32_t disk, const std::u16string& diskName,
                                              const std::vector<LayoutPartition>& layout,
                                              const std::vector<VolumeRecord>& volumes) {
  std::vector<const VolumeRecord*> onDisk;
  for (const VolumeRecord& v : volumes) {
    if (v.extents.size() == 1 && v.extents[0].disk == disk) onDisk.push_back(&v);
  }
  std::vector<SystemPartition> parts;
  std::vector<bool> used(onDisk.size(), false);
  for (const LayoutPartition& p : layout) {
    SystemPartition part;
    part.number = p.number;
    part.startSector = p.offset / 512;
    part.sectorCount = p.length / 512;
    part.name = diskName + u"#" + DecimalText(static_cast<std::uint64_t>(p.number));
    for (std::size_t i = 0; i < onDisk.size(); ++i) {
      if (used[i] || onDisk[i]->extents[0].offset != p.offset) continue;
      used[i] = true;
      const std::u16string letter = DriveLetterOf(*onDisk[i]);
      if (!letter.empty()) part.name = letter;
      part.volumePath = VolumeDevicePath(*onDisk[i]);
      break;
    }
    parts.push_back(part);
  }
  for (std::size_t i = 0; i < onDisk.size(); ++i) {
    if (used[i]) continue;
    const std::u16string letter = DriveLetterOf(*onDisk[i]);
    if (letter.empty()) continue;  // neither listed by the table nor named by a letter
    const VolumeExtentRecord& e = onDisk[i]->extents[0];
    parts.push_back({letter, VolumeDevicePath(*onDisk[i]), 0, e.offset / 512, e.length / 512});
  }
  std::stable_sort(parts.begin(), parts.end(), [](const SystemPartition& a, const SystemPartition& b) {
    return a.startSector < b.startSector;
  });
  return parts;
}

}  // namespace kestrum::platform::win32
