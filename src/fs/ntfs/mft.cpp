#include "fs/ntfs/mft.h"

#include <algorithm>
#include <array>

#include "fs/ntfs/file_record.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum {

using namespace ntfs;

namespace {

// A run list shorter than this cannot describe an MFT (header, length, offset).
constexpr std::size_t kMinMftRunListBytes = 3;

}  // namespace

bool ReadRecords(const DeviceHandle& device, Sector64 sector, std::uint32_t count, std::uint32_t recordBytes,
                 std::span<std::uint8_t> buffer, std::uint32_t* unreadable) {
  if (recordBytes < kRecordSize || recordBytes > kMaxRecordSize) return false;
  count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, buffer.size() / recordBytes));
  if (count == 0) return false;
  const std::uint32_t recordSectors = recordBytes / kSectorSize;
  std::vector<std::uint8_t> readable(std::size_t{count} * recordSectors);
  bool whole = ReadSectorsMapped(device, buffer, sector, count * recordSectors, readable.data());
  for (std::uint32_t i = 0; i < count; ++i) {
    std::span<std::uint8_t> record = buffer.subspan(std::size_t{i} * recordBytes, recordBytes);
    const auto sectors = readable.begin() + std::ptrdiff_t{i} * recordSectors;
    if (!whole && std::find(sectors, sectors + recordSectors, std::uint8_t{0}) != sectors + recordSectors) {
      std::fill(record.begin(), record.end(), std::uint8_t{0});
      if (unreadable != nullptr) ++*unreadable;
      continue;
    }
    ApplyFixup(record);
  }
  return whole;
}

bool DecodeMftRecordRuns(ByteView record, const VolumeDescriptor& volume,
                         std::vector<RunEntry>& out) {
  out.clear();
  auto data = FindAttribute(record, attr::kData);
  if (!data || data->IsResident()) return false;
  ByteView runList = RunListBytes(*data, kMinMftRunListBytes);
  if (runList.empty() || !DecodeRunList(runList, out)) return false;
  ResolveRunSectors(out, volume);
  return true;
}

bool ReadMftRuns(const VolumeDescriptor& volume, const DeviceHandle& device, Sector64 sector,
                 std::vector<RunEntry>& out) {
  out.clear();
  std::vector<std::uint8_t> record(RecordBytesOf(volume));
  ReadRecords(device, sector, 1, RecordBytesOf(volume), record);
  return DecodeMftRecordRuns(record, volume, out);
}

bool FindMftRuns(const VolumeDescriptor& volume, const DeviceHandle& device,
                 std::vector<RunEntry>& out) {
  out.clear();
  if (SectorsPerCluster(volume) == 0) return false;
  return ReadMftRuns(volume, device, MftSector(volume), out) ||
         ReadMftRuns(volume, device, MirrorSector(volume), out);
}

std::uint32_t CountMftRecords(const std::vector<RunEntry>& runs, const VolumeDescriptor& volume) {
  const std::uint32_t spc = SectorsPerCluster(volume);
  std::uint64_t sectors = 0;
  for (const RunEntry& run : runs) sectors += RunSectors(run, spc);
  std::uint64_t records = sectors / RecordSectorsOf(volume);
  std::uint64_t room = VolumeSectors(volume) / RecordSectorsOf(volume);
  // Nodes are numbered in 32 bits, with room left for streams and LostFile.
  constexpr std::uint64_t kMaxRecords = 0x7FFFFFFF;
  return static_cast<std::uint32_t>(std::min({records, room, kMaxRecords}));
}

}  // namespace kestrum
