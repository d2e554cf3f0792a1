#include "fs/ntfs/run_list.h"

#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum {

bool DecodeRunList(ByteView bytes, std::vector<RunEntry>& out) {
  out.clear();
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::uint8_t header = bytes[at];
    if (header == 0) break;
    std::size_t lengthBytes = header & 0x0F;
    std::size_t offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) break;
    if (!FitsIn(bytes, at + 1, lengthBytes + offsetBytes)) break;
    ++at;
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < lengthBytes; ++i) length |= std::uint64_t{bytes[at + i]} << (8 * i);
    at += lengthBytes;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < offsetBytes; ++i) offset |= std::uint64_t{bytes[at + i]} << (8 * i);
    if (offsetBytes > 0 && offsetBytes < 8 && (bytes[at + offsetBytes - 1] & 0x80) != 0) {
      offset |= ~std::uint64_t{0} << (8 * offsetBytes);  // negative delta
    }
    at += offsetBytes;
    RunEntry run;
    run.delta = static_cast<std::int64_t>(offset);
    run.length = length;
    run.sparse = offsetBytes == 0;
    out.push_back(run);
  }
  return !out.empty();
}

void ResolveRunSectors(std::vector<RunEntry>& runs, const VolumeDescriptor& volume) {
  const std::uint64_t spc = ntfs::SectorsPerCluster(volume);
  Sector64 start = volume.startSector;
  for (RunEntry& run : runs) {
    start += spc * static_cast<std::uint64_t>(run.delta);
    run.startSector = start;
  }
}

std::uint64_t RunSectors(const RunEntry& run, std::uint32_t sectorsPerCluster) {
  // A damaged length must not wrap round to a small run.
  if (sectorsPerCluster != 0 && run.length > UINT64_MAX / sectorsPerCluster) return UINT64_MAX;
  return run.length * sectorsPerCluster;
}

bool MapRecordToSector(std::uint32_t record, const VolumeDescriptor& volume,
                       const std::vector<RunEntry>& runs, Sector64& out) {
  const std::uint32_t spc = ntfs::SectorsPerCluster(volume);
  if (spc == 0) return false;
  std::uint64_t n = record;
  for (const RunEntry& run : runs) {
    std::uint64_t held = RunSectors(run, spc) / ntfs::RecordSectorsOf(volume);
    if (n >= held) {
      n -= held;
      continue;
    }
    if (run.sparse) return false;
    out = run.startSector + n * ntfs::RecordSectorsOf(volume);
    return true;
  }
  return false;
}

}  // namespace kestrum
