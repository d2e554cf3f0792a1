#include "fuzz_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "fs/tree/volume_set.h"
#include "run/worker_state.h"

namespace kestrum::fuzz {

bool FuzzImage::Create(std::size_t bytes) {
  fd_ = ::memfd_create("kestrum-fuzz", MFD_CLOEXEC);
  if (fd_ < 0) return false;
  bytes_ = (bytes + 511) / 512 * 512;
  if (::ftruncate(fd_, static_cast<off_t>(bytes_)) != 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  path_ = FromUtf8("/proc/self/fd/" + std::to_string(fd_));
  return true;
}

FuzzImage::FuzzImage(const std::uint8_t* data, std::size_t size, std::size_t minBytes) {
  if (!Create(std::max(size, minBytes))) return;
  if (size > 0 && ::pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  std::memcpy(boot_, data, std::min<std::size_t>(size, sizeof boot_));
}

FuzzImage::FuzzImage(SectorRecords, const std::uint8_t* data, std::size_t size) {
  std::size_t sectors = 1;
  auto sectorAt = [&](std::size_t at) {
    return (std::size_t{data[at]} | std::size_t{data[at + 1]} << 8 | std::size_t{data[at + 2]} << 16) % kMaxSectors;
  };
  for (std::size_t at = 0; at + kRecordBytes <= size; at += kRecordBytes) {
    sectors = std::max(sectors, sectorAt(at) + 1);
  }
  if (!Create(sectors * 512)) return;
  for (std::size_t at = 0; at + kRecordBytes <= size; at += kRecordBytes) {
    std::size_t sector = sectorAt(at);
    if (::pwrite(fd_, data + at + 3, 512, static_cast<off_t>(sector * 512)) != 512) break;
    if (sector == 0) std::memcpy(boot_, data + at + 3, 512);
  }
}

FuzzImage::~FuzzImage() {
  if (fd_ >= 0) ::close(fd_);
}

VolumeDescriptor FuzzImage::Volume(FsKind kind, std::uint8_t partitionType) const {
  VolumeDescriptor v;
  v.diskPath = path_;
  v.startSector = 0;
  v.sectorCount = static_cast<Sector64>(bytes_ / 512);
  v.fsKind = kind;
  v.partitionType = partitionType;
  std::copy(boot_, boot_ + sizeof boot_, v.bootSector.begin());
  return v;
}

void PrepareRun() {
  TheWorkerState().runState.store(RunState::kRunning);
  TheWorkerState().ClearSlot();
}

int ReadWholeVolume(const std::uint8_t* data, std::size_t size, FsKind kind, std::uint8_t partitionType,
                    bool (*read)(VolumeDescriptor&)) {
  PrepareRun();
  FuzzImage image(FuzzImage::SectorRecords{}, data, size);
  VolumeDescriptor volume = image.Volume(kind, partitionType);
  if (!read(volume)) return 0;
  VolumeSet set;
  set.AddVolume(volume);
  for (std::int32_t view : {kViewExistingFiles, kViewDeletedFiles}) {
    set.viewMode = view;
    std::vector<std::uint32_t> children;
    set.ListVisibleChildren(0, kRootNodeId, children, false);
  }
  return 0;
}

}  // namespace kestrum::fuzz
