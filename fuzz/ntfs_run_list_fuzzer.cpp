// NTFS run lists: decoded, then resolved to sectors of a volume whose
// geometry comes from the first bytes of the input.
#include <vector>

#include "base/byte_order.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/run_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  if (size < 8) return 0;
  VolumeDescriptor volume;
  volume.fsKind = kFsNtfs;
  volume.startSector = ReadLe32(ByteView(data, size), 0) & 0xFFFFF;
  volume.sectorCount = ReadLe32(ByteView(data, size), 4);
  volume.bootSector[0x0D] = static_cast<std::uint8_t>(1u << (data[0] % 8));  // sectors per cluster
  ByteView runs(data + 8, size - 8);
  std::vector<RunEntry> entries;
  if (DecodeRunList(runs, entries)) {
    ResolveRunSectors(entries, volume);
    for (std::uint32_t record = 0; record < 64; record += 7) {
      Sector64 sector = 0;
      MapRecordToSector(record, volume, entries, sector);
    }
  }
  return 0;
}
