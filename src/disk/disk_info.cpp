#include "disk/disk_info.h"

#include "base/text.h"

namespace kestrum {

std::u16string FormatDiskSize(std::uint64_t sectors) {
  constexpr std::uint64_t kSectorsPerGiB = 2097152;
  constexpr std::uint64_t kSectorsPerTiB = kSectorsPerGiB * 1024;
  if (sectors < kSectorsPerGiB) return FormatText("%0.2f MB", static_cast<double>(sectors) / 2048.0);
  if (sectors < kSectorsPerTiB) {
    return FormatText("%0.2f GB", static_cast<double>(sectors) / static_cast<double>(kSectorsPerGiB));
  }
  return FormatText("%0.2f TB", static_cast<double>(sectors) / static_cast<double>(kSectorsPerTiB));
}

std::u16string FormatGibOrTib(double gib, bool parenthesised) {
  const bool tera = gib >= 1024.0;
  const char* format = parenthesised ? (tera ? "%.2f(TB)" : "%.2f(GB)") : (tera ? "%.2f TB" : "%.2f GB");
  return FormatText(format, tera ? gib / 1024.0 : gib);
}

VolumeDescriptor WholeDiskArea(const DiskInfo& disk) {
  VolumeDescriptor area;
  area.diskPath = disk.path;
  area.diskDescription = disk.description;
  area.name = disk.name;
  area.startSector = 0;
  area.sectorCount = disk.sectorCount;
  area.diskSectors = disk.sectorCount;
  area.sectorSize = disk.sectorSize;
  area.fsKind = kFsScanArea;
  return area;
}

std::string ComposeDiskDescription(const std::string& vendor, const std::string& product) {
  auto trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  std::string text = trimmed(vendor);
  if (!text.empty()) text += ' ';
  text += product;
  return trimmed(text);
}

}  // namespace kestrum
