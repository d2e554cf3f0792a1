#include "discovery/image_sector_size.h"

#include <array>

#include "disk/partition_table.h"
#include "disk/sector_size.h"
#include "scan/boot_sector_tests.h"

namespace kestrum {

namespace {

// The sizes to try, 512 first: it is by far the most common, and a table
// that makes sense in 512-byte LBAs is taken as such.
constexpr std::uint32_t kSizes[] = {512, 4096, 2048, 1024};

// The data entries of an MBR: how many begin with a boot sector that names
// `size` as its sector size when their LBAs count sectors of that size.
int EntriesBeginningWithBootSectors(const DeviceHandle& image, ByteView mbr, std::uint32_t size) {
  int count = 0;
  std::array<std::uint8_t, kSectorSize> sector{};
  for (const TableEntry& e : ParseTableEntries(mbr)) {
    if (e.type == 0 || e.startLba == 0 || IsExtendedType(e.type) || e.type == mbr::kTypeGptProtective) continue;
    const Sector64 unit = Sector64{e.startLba} * (size / kSectorSize);
    if (ReadSectors(image, sector, unit, 1) && BootSectorSectorSize(sector) == size) ++count;
  }
  return count;
}

}  // namespace

std::uint32_t ImageSectorSize(const DeviceHandle& image) {
  std::array<std::uint8_t, kSectorSize> first{};
  if (!ReadSectors(image, first, 0, 1)) return kSectorSize;
  const std::uint32_t own = BootSectorSectorSize(first);
  if (IsDeviceSectorSize(own)) return own;
  std::array<std::uint8_t, kSectorSize> sector{};
  for (std::uint32_t size : kSizes) {
    if (ReadSectors(image, sector, size / kSectorSize, 1) && HasTag(ByteView(sector), 0, "EFI PART")) return size;
  }
  if (!HasBootSignature(first)) return kSectorSize;
  for (std::uint32_t size : kSizes) {
    if (EntriesBeginningWithBootSectors(image, first, size) > 0) return size;
  }
  return kSectorSize;
}

}  // namespace kestrum
