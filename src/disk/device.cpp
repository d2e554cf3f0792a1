#include "disk/device.h"

#include <algorithm>

#include "run/worker_state.h"
#include "base/text.h"
#include "disk/sector_size.h"
#include "disk/volume_descriptor.h"
#include "platform/files.h"

namespace kestrum {

namespace {

Sector64 LimitFromBytes(std::uint64_t bytes) { return bytes / kSectorSize; }

// A second, unbuffered descriptor for the single-sector retries of a
// device read through the cache; -1 where there is none to be had.
int OpenRetryPastCache(int fd, const std::u16string& path) {
  if (platform::ReadsPastCache(fd) || !platform::IsDevicePath(path)) return -1;
  const int direct = platform::OpenFile(path, platform::OpenMode::kReadUnbuffered);
  if (direct >= 0 && platform::ReadsPastCache(direct)) return direct;
  platform::CloseFile(direct);
  return -1;
}

bool OpenWithMode(const std::u16string& path, platform::OpenMode mode, DeviceHandle& out) {
  out = DeviceHandle{};
  int fd = platform::OpenFile(path, mode);
  if (fd < 0) return false;
  out.fd = fd;
  out.name = path;
  out.health = std::make_shared<ReadHealth>();
  out.sectorLimit = LimitFromBytes(QueryDeviceBytes(fd));
  if (const std::uint32_t reported = QueryLogicalSectorSize(fd)) out.sectorSize = reported;
  if (mode == platform::OpenMode::kRead) out.retryFd = OpenRetryPastCache(fd, path);
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
  return OpenWithMode(path, platform::OpenMode::kRead, out);
}

bool OpenDeviceUnbuffered(const std::u16string& path, DeviceHandle& out) {
  return OpenWithMode(path, platform::OpenMode::kReadUnbuffered, out);
}

bool OpenDeviceForRepair(const std::u16string& path, DeviceHandle& out) {
  return OpenWithMode(path, platform::OpenMode::kReadWrite, out);
}

DeviceHandle OpenVolumeOnDisk(const VolumeDescriptor& volume) {
  DeviceHandle handle;
  int fd = platform::OpenFile(volume.diskPath, platform::OpenMode::kRead);
  if (fd < 0) return handle;
  handle.fd = fd;
  handle.health = std::make_shared<ReadHealth>();
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
  handle.retryFd = OpenRetryPastCache(fd, volume.diskPath);
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
  platform::CloseFile(device.fd);
  platform::CloseFile(device.retryFd);
  device.fd = -1;
  device.retryFd = -1;
}

std::uint64_t QueryDeviceBytes(int fd) { return platform::DeviceBytes(fd); }

std::uint64_t QueryPathBytes(const std::u16string& path) {
  int fd = platform::OpenFile(path, platform::OpenMode::kRead);
  if (fd < 0) return 0;
  std::uint64_t bytes = QueryDeviceBytes(fd);
  platform::CloseFile(fd);
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
      platform::ReadAt(device.fd, buffer.data(), bytes, (device.baseSector + sector) * kSectorSize)) {
    return true;
  }
  if (!addressable || BeyondKnownEnd(device, sector)) return false;
  PostReadError(device, sector, count);
  return false;
}

namespace {

// One sector read again after a larger read failed: past the cache where
// the handle has a descriptor for it, into a buffer aligned as such reads need.
bool ReadOneSector(const DeviceHandle& device, std::span<std::uint8_t> one, Sector64 sector) {
  if (device.retryFd < 0) return ReadSectors(device, one, sector, 1);
  DeviceHandle direct = device;
  direct.fd = device.retryFd;
  alignas(4096) std::uint8_t aligned[kSectorSize];
  if (!ReadSectors(direct, std::span<std::uint8_t>(aligned, kSectorSize), sector, 1)) return false;
  std::copy_n(aligned, kSectorSize, one.begin());
  return true;
}

// After a stretch passed over in a bad run, a good sector at `good`: the
// run ended somewhere in [from, good). Reads backwards, in pieces and then
// sector by sector, until a sector fails, so only the bad run stays zero.
void ReadBackFrom(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 bufferStart, Sector64 from,
                  Sector64 good, std::uint8_t* okMap, ReadHealth& health) {
  constexpr Sector64 kPiece = 64;
  auto sectorsAt = [&](Sector64 s, Sector64 n) { return buffer.subspan(std::size_t(s - bufferStart) * kSectorSize, std::size_t(n) * kSectorSize); };
  auto markGood = [&](Sector64 s, Sector64 n) {
    if (okMap != nullptr) std::fill(okMap + (s - bufferStart), okMap + (s - bufferStart + n), std::uint8_t{1});
    health.NoteRecovered(n);
  };
  for (Sector64 at = good; at > from;) {
    const Sector64 piece = std::min(kPiece, at - from);
    if (ReadSectors(device, sectorsAt(at - piece, piece), at - piece, static_cast<std::uint32_t>(piece))) {
      markGood(at - piece, piece);
      at -= piece;
      continue;
    }
    for (const Sector64 pieceStart = at - piece; at > pieceStart; --at) {
      auto one = sectorsAt(at - 1, 1);
      if (!ReadOneSector(device, one, at - 1)) {
        std::fill(one.begin(), one.end(), std::uint8_t{0});
        health.NoteBackwardBad();
        return;
      }
      markGood(at - 1, 1);
    }
  }
}

}  // namespace

bool ReadSectorsMapped(const DeviceHandle& device, std::span<std::uint8_t> buffer,
                       Sector64 sector, std::uint32_t count, std::uint8_t* okMap) {
  if (okMap != nullptr) std::fill(okMap, okMap + count, std::uint8_t{1});
  ReadHealth alone;
  ReadHealth& health = device.health != nullptr ? *device.health : alone;
  // A range that begins where a bad run is being passed over is not tried whole.
  const bool inSkip = health.SkipEnd(sector) != sector;
  if (!inSkip && ReadSectors(device, buffer, sector, count)) return true;
  if (!inSkip) health.NoteRetry();
  const std::uint64_t bytes = std::min<std::uint64_t>(buffer.size(), std::uint64_t{count} * kSectorSize);
  std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(bytes), std::uint8_t{0});
  const auto fit = static_cast<std::uint32_t>(bytes / kSectorSize);
  for (std::uint32_t i = 0; i < fit;) {
    const Sector64 s = sector + i;
    if (BeyondKnownEnd(device, s)) {
      if (okMap != nullptr) std::fill(okMap + i, okMap + fit, std::uint8_t{0});
      break;
    }
    if (Sector64 skipEnd = health.SkipEnd(s); skipEnd != s) {
      // A stretch that runs to this range's end leaves its last sector to be
      // tried: good, the sectors before it are read back; bad, the run goes on.
      if (fit - i > 1 && skipEnd - s >= fit - i) {
        skipEnd = sector + fit - 1;
        health.ClipSkip(skipEnd);
      }
      const auto n = static_cast<std::uint32_t>(std::min<Sector64>(skipEnd - s, fit - i));
      if (okMap != nullptr) std::fill(okMap + i, okMap + i + n, std::uint8_t{0});
      health.NoteSkipped(n);
      i += n;
      continue;
    }
    auto one = buffer.subspan(std::size_t{i} * kSectorSize, kSectorSize);
    if (ReadOneSector(device, one, s)) {
      Sector64 from = 0;
      if (health.TakeEndedSkip(s, from)) ReadBackFrom(device, buffer, sector, std::max(from, sector), s, okMap, health);
    } else {
      std::fill(one.begin(), one.end(), std::uint8_t{0});
      if (okMap != nullptr) okMap[i] = 0;
      health.NoteBadSector(s);
    }
    ++i;
    if (AbortRequested()) break;
  }
  return false;
}

bool WriteSectors(const DeviceHandle& device, std::span<const std::uint8_t> data, Sector64 sector) {
  if (!device.IsOpen() || data.empty() || data.size() % kSectorSize != 0) return false;
  return platform::WriteAt(device.fd, data.data(), data.size(), (device.baseSector + sector) * kSectorSize);
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
