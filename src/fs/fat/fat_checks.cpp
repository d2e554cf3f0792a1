#include "fs/fat/fat_checks.h"

#include <vector>

#include "fs/fat/fat_layout.h"

namespace kestrum {

namespace {

constexpr std::uint32_t kFat32MediaEntry = 0x0FFFFFF8;
constexpr std::uint32_t kFat32EndMark = 0x0FFFFFFF;
constexpr std::uint16_t kFat16MediaEntry = 0xFFF8;
constexpr std::uint16_t kFat16EndMark = 0xFFFF;
constexpr int kFat32PlausibleAbove = 96;   // of 126 entries
constexpr int kFat16PlausibleAbove = 192;  // of 254 entries

// A FAT12 table starts with the media byte and FF FF (entries 0 and 1);
// its packed entries are not judged further.
bool LooksLikeFatStart(const DeviceHandle& device, Sector64 sector, FatWidth width, std::uint8_t media) {
  std::vector<std::uint8_t> buffer(kSectorSize);
  if (!ReadSectors(device, buffer, sector, 1)) return false;
  switch (width) {
    case kFat32: return ReadLe32(buffer, 0) == kFat32MediaEntry && IsPlausibleFat32Sector(buffer);
    case kFat16: return ReadLe16(buffer, 0) == kFat16MediaEntry && IsPlausibleFat16Sector(buffer);
    case kFat12: return buffer[0] == media && buffer[1] == 0xFF && buffer[2] == 0xFF;
  }
  return false;
}

bool IsTextByte(std::uint8_t byte) { return (byte >= 0x20 && byte <= 0x7E) || byte == '\r' || byte == '\n'; }

}  // namespace

bool CheckFatAt(const DeviceHandle& device, ByteView bootSector, Sector64 sector) {
  const bool fat32 = ReadLe16(bootSector, fatboot::kRootEntryCount) == 0;
  const FatGeometry g = FatGeometryOf(bootSector, sector, fat32);
  const std::uint8_t media = ReadLe8(bootSector, fatboot::kMedia);
  if (LooksLikeFatStart(device, g.firstFatSector, g.width, media)) return true;
  if (g.fatCount != 2) return false;
  return LooksLikeFatStart(device, g.firstFatSector + g.fatSectors, g.width, media);
}

bool IsPlausibleFat32Sector(ByteView sector) {
  if (sector.size() < kSectorSize) return false;
  int plausible = 0;
  for (std::uint32_t k = 2; k < kSectorSize / 4; ++k) {
    std::uint32_t value = ReadLe32(sector, std::size_t{k} * 4);
    if (value == kFat32EndMark || value == 0 || value == k + 1) ++plausible;
  }
  return plausible > kFat32PlausibleAbove;
}

bool IsPlausibleFat16Sector(ByteView sector) {
  if (sector.size() < kSectorSize) return false;
  int plausible = 0;
  for (std::uint32_t k = 2; k < kSectorSize / 2; ++k) {
    std::uint32_t value = ReadLe16(sector, std::size_t{k} * 2);
    if (value == kFat16EndMark || value == 0 || value == k + 1) ++plausible;
  }
  return plausible > kFat16PlausibleAbove;
}

bool IsVolumeLabelEntry(ByteView entry) {
  if (entry.size() < fatdir::kEntrySize) return false;
  if (entry[fatdir::kAttribute] != fatdir::kAttrVolumeLabel) return false;
  for (std::size_t i = 13; i <= 21; ++i) {
    if (entry[i] != 0) return false;
  }
  for (std::size_t i = 26; i <= 31; ++i) {
    if (entry[i] != 0) return false;
  }
  constexpr std::size_t kLast = fatdir::kShortNameLength - 1;
  std::size_t i = 0;
  while (i < fatdir::kShortNameLength) {
    std::uint8_t byte = entry[i];
    if (byte == 0) return false;
    if (IsTextByte(byte) || i == kLast) {
      ++i;
      continue;
    }
    // A double-byte character, taken as its little-endian 16-bit value.
    std::uint16_t pair = ReadLe16(entry, i);
    if (pair < 0xA1A1 || pair > 0xFEFE) return false;
    i += 2;
  }
  return true;
}

}  // namespace kestrum
