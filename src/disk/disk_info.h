#pragma once
// One disk the user can choose: a whole-disk block device or an image file.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/sector.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

struct DiskInfo {
  std::uint32_t number = 0;  // position in the list
  std::u16string description;
  std::u16string path;
  std::u16string sizeText;
  Sector64 sectorCount = 0;  // 512-byte units, whatever the sector size
  std::uint32_t sectorSize = kSectorSize;  // logical, in bytes
  std::u16string name;  // "sda", or the image file's name
  bool isImage = false;
  bool removable = false;
};

using DiskList = std::vector<DiskInfo>;

// The whole disk as one area, as a disk search and the lost-partition scan
// take it: from sector 0 to its end, of the scan-area kind.
VolumeDescriptor WholeDiskArea(const DiskInfo& disk);

// "%0.2f MB" below 1 GiB, "%0.2f GB" below 1 TiB, else "%0.2f TB".
std::u16string FormatDiskSize(std::uint64_t sectors);
// A size in GiB with two decimals and its unit, GB, or TB from 1024 GiB on:
// "0.50 GB", "3.00 TB"; in parentheses without the blank: "3.00(TB)".
std::u16string FormatGibOrTib(double gib, bool parenthesised = false);

// The vendor text without trailing blanks, one blank, then the product text,
// the whole without trailing blanks; an empty vendor gives the product alone.
std::string ComposeDiskDescription(const std::string& vendor, const std::string& product);

}  // namespace kestrum
