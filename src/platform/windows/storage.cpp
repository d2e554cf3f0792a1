#include "platform/storage.h"

#include "platform/windows/device_paths.h"
#include "platform/windows/volumes.h"
#include "platform/windows/win32.h"

#include <winioctl.h>

#include <set>

namespace kestrum::platform {

namespace {

using win32::Wide;

std::string DiskKey(DWORD number) { return "disk:" + std::to_string(number); }

// The disks under the volume a path lies on.
void AddVolumeDisks(const std::wstring& path, std::set<std::string>& found) {
  wchar_t root[MAX_PATH + 1] = {};
  wchar_t guid[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH + 1) ||
      !GetVolumeNameForVolumeMountPointW(root, guid, MAX_PATH + 1)) {
    return;
  }
  for (const win32::VolumeRecord& v : win32::ListVolumes()) {
    if (v.guidPath != win32::Narrow16(guid)) continue;
    for (const win32::VolumeExtentRecord& e : v.extents) found.insert(DiskKey(e.disk));
  }
}

std::string FileKeyOf(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  std::string key;
  if (GetFileInformationByHandle(handle, &info)) {
    key = "file:" + std::to_string(info.dwVolumeSerialNumber) + ":" +
          std::to_string((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
  }
  CloseHandle(handle);
  return key;
}

}  // namespace

std::u16string DiskOfPartition(const std::u16string& path) {
  if (win32::VolumeRootOf(path).empty()) return {};
  HANDLE handle = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  std::u16string disk = path;
  std::string answer;
  if (handle != INVALID_HANDLE_VALUE &&
      win32::Control(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer) &&
      answer.size() >= sizeof(VOLUME_DISK_EXTENTS)) {
    const auto* list = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(answer.data());
    if (list->NumberOfDiskExtents >= 1) {
      disk = win32::Narrow16(L"\\\\.\\PhysicalDrive" + std::to_wstring(list->Extents[0].DiskNumber));
    }
  }
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return disk;
}

std::vector<std::string> TargetStorage(const std::u16string& targetPath) {
  std::set<std::string> found;
  AddVolumeDisks(Wide(targetPath.empty() ? u"." : targetPath), found);
  return {found.begin(), found.end()};
}

std::vector<std::string> SourceStorage(const std::u16string& devicePath) {
  std::set<std::string> found;
  if (devicePath.empty()) return {};
  if (win32::IsDeviceName(devicePath)) {
    HANDLE handle = CreateFileW(Wide(devicePath).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned,
                        nullptr)) {
      found.insert(DiskKey(number.DeviceNumber));
    }
    std::string answer;
    if (win32::Control(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer) &&
        answer.size() >= sizeof(VOLUME_DISK_EXTENTS)) {
      const auto* list = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(answer.data());
      const std::size_t fits = (answer.size() - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
      for (DWORD i = 0; i < list->NumberOfDiskExtents && i < fits; ++i) found.insert(DiskKey(list->Extents[i].DiskNumber));
    }
    CloseHandle(handle);
  } else {
    // An image file: only a target inside that very file could touch it.
    const std::string key = FileKeyOf(Wide(devicePath));
    if (!key.empty()) found.insert(key);
  }
  return {found.begin(), found.end()};
}

}  // namespace kestrum::platform
