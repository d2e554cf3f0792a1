#include "platform/system_disks.h"

#include "platform/windows/device_paths.h"
#include "platform/windows/volumes.h"
#include "platform/windows/win32.h"

#include <winioctl.h>

namespace kestrum::platform {

namespace {

using win32::Wide;

// The disks a recovery tool offers: \\.\PhysicalDrive0 to 7, as the
// system numbers them.
constexpr int kDiskCount = 8;

// Bus types of disks that hold users' data: SCSI, ATA, RAID, iSCSI, SAS,
// SATA, SD, USB, NVMe, and virtual disks (a mounted VHD); not tape or
// optical drives' pseudo-disks.
bool IsListedBus(STORAGE_BUS_TYPE bus) {
  switch (static_cast<int>(bus)) {
    case 1: case 3: case 7: case 8: case 9: case 10: case 11: case 12: case 14: case 15: case 17:
      return true;
    default:
      return false;
  }
}

std::u16string DiskPath(int number) {
  const std::wstring path = L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
  return win32::Narrow16(path);
}

std::string TextAt(const std::string& answer, DWORD offset) {
  if (offset == 0 || offset >= answer.size()) return {};
  return std::string(answer.c_str() + offset);
}

bool Describe(const std::u16string& path, SystemDisk& out) {
  HANDLE handle = CreateFileW(Wide(path).c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::string answer;
  const bool described = win32::Control(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer) &&
                         answer.size() >= sizeof(STORAGE_DEVICE_DESCRIPTOR);
  CloseHandle(handle);
  if (!described) return false;
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
  if (!IsListedBus(descriptor->BusType)) return false;
  out = SystemDisk{};
  out.path = path;
  out.name = path.substr(4);  // "PhysicalDrive0"
  out.vendor = TextAt(answer, descriptor->VendorIdOffset);
  out.model = TextAt(answer, descriptor->ProductIdOffset);
  out.removable = descriptor->RemovableMedia != FALSE;
  return true;
}

class WindowsDisks : public SystemDisks {
 public:
  std::vector<SystemDisk> ListDisks() const override {
    std::vector<SystemDisk> disks;
    for (int n = 0; n < kDiskCount; ++n) {  // every number: the list may have gaps
      SystemDisk disk;
      if (Describe(DiskPath(n), disk)) disks.push_back(disk);
    }
    return disks;
  }

  bool FindDisk(const std::u16string& path, SystemDisk& out) const override {
    return win32::DiskNumberOf(path).has_value() && Describe(path, out);
  }

  std::vector<SystemPartition> ListPartitions(const SystemDisk& disk) const override {
    const std::optional<std::uint32_t> number = win32::DiskNumberOf(disk.path);
    if (!number) return {};
    HANDLE handle = CreateFileW(Wide(disk.path).c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::vector<win32::LayoutPartition> layout = win32::ReadLayout(handle);
    CloseHandle(handle);
    return win32::PartitionsOfDisk(*number, disk.name, layout, win32::ListVolumes());
  }
};

}  // namespace

std::shared_ptr<const SystemDisks> MachineDisks() {
  static const std::shared_ptr<const SystemDisks> disks = std::make_shared<WindowsDisks>();
  return disks;
}

Naming NameVolume(int, const std::u16string& path, std::uint64_t, std::uint64_t, SystemVolumeInfo& out) {
  out = SystemVolumeInfo{};
  // Only a mounted volume has a root the system can name; an image file or a
  // partition without a volume is the program's own to probe.
  const std::wstring root = Wide(win32::VolumeRootOf(path));
  if (root.empty()) return win32::IsDeviceName(path) ? Naming::kUnnamed : Naming::kCannotTell;
  wchar_t label[MAX_PATH + 1] = {};
  wchar_t fsName[MAX_PATH + 1] = {};
  DWORD serial = 0;
  if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr, fsName, MAX_PATH + 1)) {
    return Naming::kUnnamed;
  }
  out.fsName = win32::Narrow16(fsName);
  out.label = win32::Narrow16(label);
  out.serial = serial;
  return out.fsName.empty() || out.fsName == u"RAW" ? Naming::kUnnamed : Naming::kNamed;
}

}  // namespace kestrum::platform
