// exFAT directory entries: entry sets, and the sector tests of the deep scan.
#include "fs/exfat/entry_sets.h"
#include "fs/exfat/exfat_sectors.h"
#include "fs/exfat/exfat_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  ByteView bytes(data, size);
  NodeStrings strings;
  ParseEntrySets(bytes, strings);
  for (std::size_t at = 0; at + 512 <= size; at += 512) {
    ByteView sector = bytes.subspan(at, 512);
    IsExfatRootSector(sector);
    for (unsigned first = 0; first < 16; first += 3) IsEntrySetSector(first, sector);
    std::uint32_t cluster = 0;
    std::uint64_t length = 0;
    FindBitmapEntry(sector, cluster, length);
  }
  return 0;
}
