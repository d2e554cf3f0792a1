#pragma once
// The disks attached to the machine and the partitions the system knows on
// them: /sys/block on Linux, \\.\PhysicalDriveN and the volume functions on
// Windows. Discovery builds its lists from this; tests hand it a made-up one.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::platform {

struct SystemDisk {
  std::u16string path;  // "/dev/sda", "\\.\PhysicalDrive0"
  std::u16string name;  // "sda", "PhysicalDrive0"
  std::string vendor;   // raw bytes as the device reports them
  std::string model;
  std::string backingFile;  // a loop device's file (UTF-8)
  bool removable = false;
};

struct SystemPartition {
  std::u16string name;        // "sda1", or the drive letter "C:"
  std::u16string volumePath;  // the partition's own device: "/dev/sda1", "\\.\C:"
  int number = 0;             // its slot in the partition table, from 1
  std::uint64_t startSector = 0;  // 512-byte units
  std::uint64_t sectorCount = 0;
};

class SystemDisks {
 public:
  virtual ~SystemDisks() = default;
  // The disks a recovery tool offers, in the system's order.
  virtual std::vector<SystemDisk> ListDisks() const = 0;
  // Whether a path the user named is one of the system's whole disks.
  virtual bool FindDisk(const std::u16string& path, SystemDisk& out) const = 0;
  // Its partitions by ascending start sector; empty when the system knows none.
  virtual std::vector<SystemPartition> ListPartitions(const SystemDisk& disk) const = 0;
};

// The machine's own.
std::shared_ptr<const SystemDisks> MachineDisks();

// What the system can tell about the file system of a volume.
struct SystemVolumeInfo {
  std::u16string fsName;  // "NTFS", "FAT" (FAT12/16), "FAT32", "exFAT", or the system's own name
  std::u16string label;
  std::uint32_t serial = 0;
  // When more than one file system claims the area (an ext2 written over an
  // NTFS): the types the system finds there ("ntfs", "ext2", …).
  std::vector<std::string> claimants;
};

enum class Naming {
  kNamed,
  kUnnamed,    // the system looked and names no file system there
  kCannotTell  // the system has no view of it (an image file on Windows): probe as it would
};

// Names the file system of `byteCount` bytes from `byteOffset` of the open
// file `fd`, whose path (a partition device, a disk or an image) is `path`.
Naming NameVolume(int fd, const std::u16string& path, std::uint64_t byteOffset, std::uint64_t byteCount,
                  SystemVolumeInfo& out);

}  // namespace kestrum::platform
