#include "platform/windows/device_locks.h"

#include "base/catalog.h"
#include "platform/files.h"
#include "platform/windows/volumes.h"
#include "platform/windows/win32.h"

#include <winioctl.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

namespace kestrum::platform {

namespace {

std::mutex gLockTableLock;
std::map<int, std::vector<HANDLE>> gLocks;
thread_local std::u16string gRefusal;

void CloseAll(std::vector<HANDLE>& handles) {
  for (HANDLE h : handles) CloseHandle(h);  // closing the handle unlocks the volume
  handles.clear();
}

}  // namespace

std::u16string LastOpenRefusal() { return gRefusal; }

bool IsNoMediumError(int error) { return error == ENXIO; }

bool LockVolumesOfDisk(int fd, std::u16string_view) {
  gRefusal.clear();
  STORAGE_DEVICE_NUMBER number{};
  DWORD returned = 0;
  if (!DeviceIoControl(win32::HandleOf(fd), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                       &returned, nullptr) ||
      number.PartitionNumber != 0) {
    return true;  // not a whole disk: no volume of its own to lock
  }
  std::vector<HANDLE> held;
  for (const win32::VolumeRecord& volume : win32::ListVolumes()) {
    bool onDisk = false;
    for (const win32::VolumeExtentRecord& e : volume.extents) onDisk = onDisk || e.disk == number.DeviceNumber;
    if (!onDisk) continue;
    std::u16string device = volume.guidPath;
    if (!device.empty() && device.back() == u'\\') device.pop_back();
    HANDLE handle = CreateFileW(win32::Wide(device).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool locked = handle != INVALID_HANDLE_VALUE &&
                        DeviceIoControl(handle, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (!locked) {
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
      CloseAll(held);
      std::u16string name = win32::DriveLetterOf(volume);
      if (name.empty()) name = device;
      gRefusal = Tr(u"无法锁定磁盘上的卷 ") + name + Tr(u"（它正被其他程序使用），没有写入任何扇区。请关闭使用它的程序后重试。");
      errno = EBUSY;
      return false;
    }
    DeviceIoControl(handle, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    held.push_back(handle);
  }
  std::lock_guard<std::mutex> lock(gLockTableLock);
  gLocks[fd] = std::move(held);
  return true;
}

void ReleaseVolumeLocks(int fd) {
  std::lock_guard<std::mutex> lock(gLockTableLock);
  auto it = gLocks.find(fd);
  if (it == gLocks.end()) return;
  CloseAll(it->second);
  gLocks.erase(it);
}

}  // namespace kestrum::platform
