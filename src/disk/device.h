#pragma once
// Whole-sector access to disks, partitions and image files. Read failures
// inside a device are posted as read-error status messages; reads beyond the
// device's known end fail silently.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/read_health.h"
#include "disk/sector.h"

namespace kestrum {

struct VolumeDescriptor;

// One open device. A plain value: copies share the descriptor, and whoever
// opened it closes it with CloseDevice.
struct DeviceHandle {
  int fd = -1;
  // The path opened, or the disk's description when opened for a volume;
  // it names the device in read-error messages.
  std::u16string name;
  // Sectors of the device, or the sector just past a volume opened through
  // its disk; 0 when unknown.
  Sector64 sectorLimit = 0;
  // A window onto a disk image, behaving like a partition's own device:
  // sector numbers are relative to baseSector, and nothing past
  // windowSectors can be read. windowSectors 0: not a window.
  Sector64 baseSector = 0;
  Sector64 windowSectors = 0;
  // The device's logical sector size in bytes: what a block device reports,
  // or what discovery found an image to hold. Only partition tables and
  // table writes go by it; reads and writes take 512-byte units.
  std::uint32_t sectorSize = kSectorSize;
  // What its mapped reads met, shared by the copies (read_health.h); set
  // when opened here.
  std::shared_ptr<ReadHealth> health;
  // The same device opened again past the system's cache, where `fd` is
  // not: single sectors are retried on it, since a read through the cache
  // can fail a bad sector's whole read-ahead window, good sectors with it. -1:
  // retried on `fd`. Shared by the copies, closed with `fd`.
  int retryFd = -1;

  bool IsOpen() const { return fd >= 0; }
};

// Read-only, as every reader, scan and export must open the source.
bool OpenDevice(const std::u16string& path, DeviceHandle& out);
// As OpenDevice, but a block device of 512-byte logical sectors is read past
// the page cache (O_DIRECT), so each read reaches the disk as asked: a bad
// sector fails alone, not with its page, and nothing is read ahead. Reads
// then need buffers aligned to 512 bytes.
bool OpenDeviceUnbuffered(const std::u16string& path, DeviceHandle& out);
// The standard way a reader opens a volume: its disk, absolute sector numbers.
DeviceHandle OpenVolumeOnDisk(const VolumeDescriptor& volume);
// A read-only view of `count` sectors of a disk starting at `first`, for
// probing a partition of an image file as if it were its own device.
bool OpenDeviceWindow(const std::u16string& path, Sector64 first, Sector64 count,
                      DeviceHandle& out);
// Read and write: only the partition-table repair and its undo use this.
bool OpenDeviceForRepair(const std::u16string& path, DeviceHandle& out);
void CloseDevice(DeviceHandle& device);

// Size in bytes: block-device size, else file size, else the end position.
std::uint64_t QueryDeviceBytes(int fd);
std::uint64_t QueryPathBytes(const std::u16string& path);

bool ReadSectors(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 sector,
                 std::uint32_t count);
// Reads the range whole, or else sector by sector: unreadable sectors are left
// zero and marked 0 in okMap (when given). True only if read in one piece.
// In a long run of bad sectors the reads skip ahead (read_health.h): the
// sectors passed over are zero and 0 in the map too, and counted apart.
// Sectors past the device's known end are 0 in the map and counted nowhere.
bool ReadSectorsMapped(const DeviceHandle& device, std::span<std::uint8_t> buffer,
                       Sector64 sector, std::uint32_t count, std::uint8_t* okMap);
// Writes all of `data` (whole 512-byte units) from `sector` on.
bool WriteSectors(const DeviceHandle& device, std::span<const std::uint8_t> data, Sector64 sector);

// The largest power of two (at least 2) that divides more than 80 % of the
// even gaps between neighbouring positions; false with fewer than 20
// positions or no even gap.
bool EstimateClusterStride(const std::vector<std::uint32_t>& positions, std::uint32_t& stride);

}  // namespace kestrum
