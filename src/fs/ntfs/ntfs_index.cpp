#include "fs/ntfs/ntfs_index.h"

#include <algorithm>
#include <array>

#include "fs/ntfs/file_record.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/run_list.h"

namespace kestrum {

using namespace ntfs;

namespace {

constexpr std::size_t kMinIndexRunListBytes = 3;
// An entry shorter than its own header cannot be stepped over.
constexpr std::uint16_t kMinEntryLength = index_entry::kKey;
// The boot-sector check looks at this many root children at most.
constexpr std::uint32_t kChildrenToCheck = 45;
constexpr std::uint32_t kMinSystemMatches = 3;

bool IsLongNameSpace(std::uint8_t space) {
  return space == file_name::kWin32 || space == file_name::kWin32AndDos ||
         space == file_name::kPosix;
}

}  // namespace

void CollectIndexEntries(ByteView entries, std::size_t first, std::vector<std::uint32_t>& out) {
  std::size_t at = first;
  while (FitsIn(entries, at, kMinEntryLength)) {
    std::uint16_t flags = ReadLe16(entries, at + index_entry::kFlags);
    if (flags > index_entry::kFlagHasSubnode) break;  // the last entry, or damage
    std::uint16_t length = ReadLe16(entries, at + index_entry::kLength);
    if (length < kMinEntryLength || !FitsIn(entries, at, length)) break;
    ByteView entry = entries.subspan(at, length);
    std::uint8_t nameLength = ReadLe8(entry, index_entry::kNameLength);
    if (nameLength != 0 && IsLongNameSpace(ReadLe8(entry, index_entry::kNamespace))) {
      out.push_back(ReadLe32(entry, index_entry::kFileReference));
    }
    at += length;
  }
}

bool CollectIndexChildren(ByteView record, const DeviceHandle& device,
                          const VolumeDescriptor& volume, std::vector<std::uint32_t>& out,
                          std::uint32_t* unreadableBlocks) {
  out.clear();
  auto root = FindAttribute(record, attr::kIndexRoot);
  if (!root) return false;
  auto value = ResidentValue(*root);
  if (!value) return false;
  CollectIndexEntries(*value, index_entry::kRootFirstEntry, out);

  auto allocation = FindAttribute(record, attr::kIndexAllocation);
  if (!allocation) return true;
  std::vector<RunEntry> runs;
  ByteView runList = RunListBytes(*allocation, kMinIndexRunListBytes);
  if (runList.empty() || !DecodeRunList(runList, runs)) return true;
  ResolveRunSectors(runs, volume);
  const std::uint32_t spc = SectorsPerCluster(volume);
  const std::uint32_t blockSectors = IndexBlockSectors(volume);
  std::vector<std::uint8_t> block(std::size_t{blockSectors} * kSectorSize);
  std::vector<std::uint8_t> readable(blockSectors);
  for (const RunEntry& run : runs) {
    if (run.sparse) continue;
    // Only a run's first block is parsed, so only that much is read.
    auto sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(RunSectors(run, spc), blockSectors));
    if (sectors == 0) continue;
    // A block with a sector that would not read is passed over: the
    // entries of the other blocks still count.
    if (!ReadSectorsMapped(device, block, run.startSector, sectors, readable.data()) &&
        std::find(readable.begin(), readable.begin() + sectors, std::uint8_t{0}) != readable.begin() + sectors) {
      if (unreadableBlocks != nullptr) ++*unreadableBlocks;
      continue;
    }
    ByteView read(block.data(), std::size_t{sectors} * kSectorSize);
    if (!HasTag(read, indx::kMagic, "INDX")) continue;
    std::size_t first = indx::kEntriesBase + std::size_t{ReadLe32(read, indx::kEntriesOffset)};
    CollectIndexEntries(read, first, out);
  }
  return true;
}

bool CheckNtfsBootSector(Sector64 sector, ByteView bootSector, const DeviceHandle& device) {
  VolumeDescriptor scratch;
  std::copy_n(bootSector.begin(), std::min(bootSector.size(), scratch.bootSector.size()),
              scratch.bootSector.begin());
  scratch.startSector = sector;
  std::vector<RunEntry> runs;
  if (!FindMftRuns(scratch, device, runs)) return false;

  const std::uint32_t recordBytes = RecordBytesOf(scratch);
  std::vector<std::uint8_t> record(recordBytes);
  std::vector<std::uint32_t> children;
  Sector64 at = 0;
  if (MapRecordToSector(kRootRecord, scratch, runs, at)) {
    ReadRecords(device, at, 1, recordBytes, record);
    CollectIndexChildren(record, device, scratch, children);
  }

  std::uint32_t counted = 0;
  std::uint32_t systemMatches = 0;
  std::uint32_t userMatches = 0;
  for (std::uint32_t n : children) {
    ++counted;
    if (!MapRecordToSector(n, scratch, runs, at)) continue;
    std::fill(record.begin(), record.end(), std::uint8_t{0});
    bool read = ReadRecords(device, at, 1, recordBytes, record);
    if (HasFileMagic(record) && ReadLe32(record, record::kRecordNumber) == n) {
      if (n > kLastSystemRecord) {
        ++userMatches;
      } else {
        ++systemMatches;
      }
    }
    if (read && counted > kChildrenToCheck) break;
  }
  return userMatches >= 1 && systemMatches >= kMinSystemMatches;
}

}  // namespace kestrum
