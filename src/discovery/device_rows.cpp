#include "discovery/device_rows.h"

#include "base/text.h"

namespace kestrum {

namespace {

std::u16string BlankIfEmpty(const std::u16string& text) { return text.empty() ? u" " : text; }

}  // namespace

VolumeRow FormatVolumeRow(const VolumeDescriptor& volume) {
  return {BlankIfEmpty(volume.name), BlankIfEmpty(volume.label), FsKindName(volume.fsKind),
          FormatText("%.2f GB", static_cast<double>(volume.sectorCount) / 2097152.0),
          BlankIfEmpty(volume.diskDescription)};
}

DiskRow FormatDiskRow(const DiskInfo& disk) { return {disk.description, disk.sizeText}; }

}  // namespace kestrum
