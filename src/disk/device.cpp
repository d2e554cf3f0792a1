#include "disk/device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "run/worker_state.h"
#include "base/text.h"
#include "disk/fault_injection.h"
#include "disk/sector_size.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

namespace {

Sector64 LimitFromBytes(std::uint64_t bytes) { return bytes / kSectorSize; }

bool OpenWithFlags(const std::u16string& path, int flags, DeviceHandle& out) {
  out = DeviceHandle{};
  int fd = ::open(ToUtf8(path).c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  out.fd = fd;
  out.name = path;
  out.sectorLimit = LimitFromBytes(QueryDeviceBytes(fd));
  if (const std::uint32_t reported = QueryLogicalSectorSize(fd)) out.sectorSize = reported;
  return true;
}

// Reads exactly `bytes` at `offset`; false on an error or an early end.
bool ReadFully(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset) {
#ifdef KESTRUM_FAULT_INJECTION
  testing::WaitAtReadGate(fd, offset, bytes);
  testing::NoteRead(offset, bytes);
  if (testing::ReadHitsFault(fd, offset, bytes)) {
    errno = EIO;
    return false;
  }
#endif
  std::uint64_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pread(fd, buffer + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

void PostReadError(const DeviceHandle& device, Sector64 sector, std::uint32_t count) {
  StatusMessage message;
  message.kind = StatusKind::kReadError;
  message.readError.sector = sector;
  message.readError.count = count;
  CopyFixedText(message.readError.device, device.name);
  PostStatus(message);
}

// Reads that start at or past the known end are a caller walking off the
// volume, not a failing disk: they say nothing.
bool BeyondKnownEnd(const DeviceHandle& device, Sector64 sector) {
  return device.sectorLimit != 0 && sector >= device.sectorLimit;
}

}  // namespace

bool OpenDevice(const std::u16string& path, DeviceHandle& out) {
  return OpenWithFlags(path, O_RDONLY, out);
}

bool OpenDeviceForRepair(const std::u16string& path, DeviceHandle& out) {
  return OpenWithFlags(path, O_RDWR, out);
}

DeviceHandle OpenVolumeOnDisk(const VolumeDescriptor& volume) {
  DeviceHandle handle;
  int fd = ::open(ToUtf8(volume.diskPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return handle;
  handle.fd = fd;
  handle.name = volume.diskDescription.empty() ? volume.diskPath : volume.diskDescription;
  const std::uint32_t reported = QueryLogicalSectorSize(fd);
  handle.sectorSize = reported != 0 ? reported : volume.sectorSize;
  // A volume of unknown size (0, or kUnknownVolumeSectors as rebuilt
  // volumes have) or one that claims more than its disk holds ends with the
  // disk. 64-bit: a damaged start plus count may wrap.
  const Sector64 diskEnd = LimitFromBytes(QueryDeviceBytes(fd));
  Sector64 end = volume.startSector + volume.sectorCount;
  if (volume.sectorCount == 0 || volume.sectorCount == kUnknownVolumeSectors || end < volume.startSector ||
      (diskEnd != 0 && end > diskEnd)) {
    end = diskEnd;
  }
  handle.sectorLimit = end;
  return handle;
}

bool OpenDeviceWindow(const std::u16string& path, Sector64 first, Sector64 count,
                      DeviceHandle& out) {
  if (!OpenDevice(path, out)) return false;
  out.baseSector = first;
  out.windowSectors = count;
  out.sectorLimit = count;
  return true;
}

void CloseDevice(DeviceHandle& device) {
  if (device.fd >= 0) ::close(device.fd);
  device.fd = -1;
}

std::uint64_t QueryDeviceBytes(int fd) {
  std::uint64_t bytes = 0;
  if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) return bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    return static_cast<std::uint64_t>(st.st_size);
  }
  off_t end = ::lseek(fd, 0, SEEK_END);
  return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

std::uint64_t QueryPathBytes(const std::u16string& path) {
  int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::uint64_t bytes = QueryDeviceBytes(fd);
  ::close(fd);
  return bytes;
}

bool ReadSectors(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 sector,
                 std::uint32_t count) {
  std::uint64_t bytes = std::uint64_t{count} * kSectorSize;
  if (!device.IsOpen() || buffer.size() < bytes) return false;
  if (count == 0) return true;
  constexpr Sector64 kLastAddressable = UINT64_MAX / kSectorSize;
  bool addressable = sector <= kLastAddressable - device.baseSector;
  if (device.windowSectors != 0 && (sector >= device.windowSectors || count > device.windowSectors - sector)) {
    addressable = false;  // like the end of a partition's device
  }
  if (addressable &&
      ReadFully(device.fd, buffer.data(), bytes, (device.baseSector + sector) * kSectorSize)) {
    return true;
  }
  if (!addressable || BeyondKnownEnd(device, sector)) return false;
  PostReadError(device, sector, count);
  return false;
}

bool ReadSectorsMapped(const DeviceHandle& device, std::span<std::uint8_t> buffer,
                       Sector64 sector, std::uint32_t count, std::uint8_t* okMap) {
  if (okMap != nullptr) std::fill(okMap, okMap + count, std::uint8_t{1});
  if (ReadSectors(device, buffer, sector, count)) return true;
  std::uint64_t bytes = std::min<std::uint64_t>(buffer.size(), std::uint64_t{count} * kSectorSize);
  std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(bytes), std::uint8_t{0});
  for (std::uint32_t i = 0; i < count && (i + 1) * std::uint64_t{kSectorSize} <= buffer.size();
       ++i) {
    auto one = buffer.subspan(std::size_t{i} * kSectorSize, kSectorSize);
    if (!ReadSectors(device, one, sector + i, 1)) {
      std::fill(one.begin(), one.end(), std::uint8_t{0});
      if (okMap != nullptr) okMap[i] = 0;
    }
    if (AbortRequested()) break;
  }
  return false;
}

bool WriteSectors(const DeviceHandle& device, std::span<const std::uint8_t> data, Sector64 sector) {
  if (!device.IsOpen() || data.empty() || data.size() % kSectorSize != 0) return false;
  std::uint64_t offset = (device.baseSector + sector) * kSectorSize;
#ifdef KESTRUM_FAULT_INJECTION
  if (testing::WriteHitsFault(device.fd, offset, data.size())) {
    errno = EIO;
    return false;
  }
#endif
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pwrite(device.fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool EstimateClusterStride(const std::vector<std::uint32_t>& positions, std::uint32_t& stride) {
  if (positions.size() < 20) return false;
  std::uint32_t divisible[18] = {};
  for (std::size_t i = 1; i < positions.size(); ++i) {
    std::uint32_t gap = positions[i] - positions[i - 1];
    for (int j = 0; j < 16; ++j) {
      if (gap % (std::uint32_t{1} << j) == 0) ++divisible[j];
    }
  }
  if (divisible[1] == 0) return false;  // no even gap: nothing to go by
  for (int i = 0; i < 18; ++i) {
    if (std::uint64_t{divisible[i]} * 100 / divisible[1] > 80) stride = std::uint32_t{1} << i;
  }
  return true;
}

}  // namespace kestrum
