#pragma once
// What the harnesses share: the fuzz input as a disk image the readers open
// by path (an anonymous memory file), and a descriptor of it as one volume.

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/device.h"
#include "disk/volume_descriptor.h"

namespace kestrum::fuzz {

class FuzzImage {
 public:
  // The bytes, padded with zeros to `minBytes` and to a whole sector.
  FuzzImage(const std::uint8_t* data, std::size_t size, std::size_t minBytes = 0);
  // A sparse image: the input is records of a 24-bit little-endian sector
  // number (below 2^17: images up to 64 MiB) and that sector's 512 bytes;
  // every other sector is zero. Small inputs stand for whole small volumes.
  static constexpr std::size_t kRecordBytes = 3 + 512;
  static constexpr std::size_t kMaxSectors = std::size_t{1} << 17;
  struct SectorRecords {};
  FuzzImage(SectorRecords, const std::uint8_t* data, std::size_t size);
  ~FuzzImage();
  FuzzImage(const FuzzImage&) = delete;
  FuzzImage& operator=(const FuzzImage&) = delete;

  const std::u16string& Path() const { return path_; }
  bool Open(DeviceHandle& out) const { return fd_ >= 0 && OpenDevice(path_, out); }
  // The whole image as a volume of `kind`, its boot sector from sector 0.
  VolumeDescriptor Volume(FsKind kind, std::uint8_t partitionType) const;

 private:
  bool Create(std::size_t bytes);

  int fd_ = -1;
  std::size_t bytes_ = 0;
  std::uint8_t boot_[512] = {};
  std::u16string path_;
};

// A run of the readers needs a run state that lets them go on.
void PrepareRun();

// The whole-volume harness: the input as a sparse image (SectorRecords) read
// as one volume of `kind` by `read`, then walked as the browser walks it.
int ReadWholeVolume(const std::uint8_t* data, std::size_t size, FsKind kind, std::uint8_t partitionType,
                    bool (*read)(VolumeDescriptor&));

}  // namespace kestrum::fuzz
