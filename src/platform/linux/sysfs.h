#pragma once
// The Linux view of disks: whole-disk block devices and their partitions, as
// the kernel lists them under /sys/block.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system_disks.h"

namespace kestrum {

struct SysfsPartition {
  std::string name;  // "sda1"
  int number = 0;
  std::uint64_t startSector = 0;
  std::uint64_t sectorCount = 0;
};

struct SysfsDisk {
  std::string name;  // "sda"
  std::string vendor;
  std::string model;
  std::string backingFile;  // loop devices only
  bool removable = false;
};

// The root is a parameter so that tests can lay out a fake tree.
class Sysfs {
 public:
  explicit Sysfs(std::string root = "/sys/block") : root_(std::move(root)) {}

  // Disks of the kinds a recovery tool offers (sd, nvme, vd, xvd, hd, mmcblk,
  // and loop devices with a backing file), in natural name order.
  std::vector<SysfsDisk> ListDisks() const;
  bool ReadDisk(const std::string& name, SysfsDisk& out) const;
  // Partitions by ascending start sector.
  std::vector<SysfsPartition> ListPartitions(const std::string& diskName) const;

 private:
  std::string root_;
};

// The machine's disks as sysfs lists them (a made-up tree in tests).
class SysfsDisks : public platform::SystemDisks {
 public:
  explicit SysfsDisks(std::string root = "/sys/block") : sysfs_(std::move(root)) {}
  std::vector<platform::SystemDisk> ListDisks() const override;
  bool FindDisk(const std::u16string& path, platform::SystemDisk& out) const override;
  std::vector<platform::SystemPartition> ListPartitions(const platform::SystemDisk& disk) const override;

 private:
  Sysfs sysfs_;
};

// Whether a /sys/block name is a disk kind we list.
bool IsListedDiskName(const std::string& name);
// "loop2" < "loop10": digits compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b);
// The /sys/block name of a whole-disk device path ("/dev/sdb" → "sdb"), or "".
std::string WholeDiskName(const std::string& devicePath, const Sysfs& sysfs);

}  // namespace kestrum
