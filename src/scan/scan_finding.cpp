#include "scan/scan_finding.h"

#include <algorithm>
#include <array>
#include <optional>

#include "fs/fat/fat_layout.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/ntfs_layout.h"

namespace kestrum {

namespace {

using namespace ntfs;

// Only the first sector of an INDX block is looked at, and an entry must
// start early enough for its key's name fields to lie in that sector.
constexpr std::size_t kIndexEntriesEnd = 432;
constexpr std::uint16_t kLastIndexEntryFlags = 1;  // 0 or 1: more entries follow

bool IsWin32Namespace(std::uint8_t space) {
  return space == file_name::kWin32 || space == file_name::kWin32AndDos;
}

ByteView SectorAt(ByteView block, std::uint32_t position) {
  std::size_t offset = std::size_t{position} * kSectorSize;
  if (!FitsIn(block, offset, kSectorSize)) return {};
  return block.subspan(offset, kSectorSize);
}

// The first cluster of a FAT directory entry: high word at 0x14, low at 0x1A.
std::uint32_t EntryCluster(ByteView sector, std::size_t entry) {
  return std::uint32_t{ReadLe16(sector, entry + fatdir::kClusterHigh)} << 16 |
         ReadLe16(sector, entry + fatdir::kClusterLow);
}

struct NameChoice {
  NtfsAttribute attribute;
  ByteView value;
};

// The record's name: its first Win32 (or Win32-and-DOS) name; volumes that
// Linux wrote carry only POSIX names, so the first of those stands in when
// there is no Win32 one. DOS 8.3 names never count.
std::optional<NameChoice> ChooseName(ByteView record, std::uint32_t& parent) {
  std::optional<NameChoice> posix;
  AttributeCursor cursor(record);
  NtfsAttribute attribute;
  while (cursor.Next(attribute)) {
    if (attribute.Type() != attr::kFileName) continue;
    auto value = ResidentValue(attribute);
    if (!value || value->size() < file_name::kName) continue;
    std::size_t chars = ReadLe8(*value, file_name::kNameLength);
    parent = ReadLe32(*value, file_name::kParentReference);  // every name sets it, as far as the walk goes
    if (chars == 0 || !FitsIn(*value, file_name::kName, chars * 2)) continue;
    std::uint8_t space = ReadLe8(*value, file_name::kNamespace);
    if (IsWin32Namespace(space)) {
      return NameChoice{attribute, *value};
    }
    if (space == file_name::kPosix && !posix) posix = NameChoice{attribute, *value};
  }
  if (posix) parent = ReadLe32(posix->value, file_name::kParentReference);
  return posix;
}

// The $DATA attribute's sizes; its run list when it has one. A resident
// value stays in the record.
ByteView TakeData(const NtfsAttribute& data, ScanFinding& finding) {
  if (data.IsResident()) {
    finding.size = ReadLe32(data.bytes, attr::kValueLength);
    finding.flags |= finding_flags::kResidentData;
    return {};
  }
  finding.size = ReadLe64(data.bytes, attr::kRealSize);
  finding.allocatedSize = ReadLe64(data.bytes, attr::kAllocatedSize);
  ByteView runs = RunListBytes(data);
  if (runs.empty() || runs.size() >= kRecordSize) return {};
  finding.dataLength = static_cast<std::uint16_t>(runs.size());
  return runs;
}

}  // namespace

void SummariseRecordBytes(ByteView record, ScanFinding& finding) {
  record = record.first(std::min(record.size(), kRecordSize));
  std::uint8_t recordFlags = ReadLe8(record, record::kFlags);
  if (recordFlags > (record::kFlagInUse | record::kFlagDirectory)) return;
  finding.flags = recordFlags;
  finding.wordB = ReadLe32(record, record::kRecordNumber);

  std::optional<NameChoice> chosen = ChooseName(record, finding.wordA);
  if (!chosen) return;
  const std::u16string name = FileNameOf(chosen->value).value_or(u"");
  ByteView runs;
  if (auto data = FindAttribute(record, attr::kData, chosen->attribute.offset + 1)) runs = TakeData(*data, finding);
  if (FindAttribute(record, attr::kIndexAllocation)) finding.flags |= finding_flags::kHasIndexAllocation;
  finding.bytes = FindingBytes({}, name, runs);
}

void SummariseFileRecord(ByteView block, std::uint32_t position, Sector64 sector,
                         const DeviceHandle& device, ScanFinding& finding) {
  const std::size_t blockSectors = block.size() / kSectorSize;
  if (position >= blockSectors) return;
  if (std::size_t{position} + kRecordSectors <= blockSectors) {
    SummariseRecordBytes(block.subspan(std::size_t{position} * kSectorSize, kRecordSize), finding);
    return;
  }
  // The record's second sector is the first of the next block: read it.
  std::array<std::uint8_t, kRecordSize> record{};
  ByteView first = SectorAt(block, position);
  std::copy(first.begin(), first.end(), record.begin());
  std::span<std::uint8_t> second(record.data() + kSectorSize, kSectorSize);
  const Sector64 next = sector + 1;
  const bool pastEnd = device.sectorLimit != 0 && next >= device.sectorLimit;
  if (!pastEnd && !ReadSectors(device, second, next, 1)) {
    std::fill(second.begin(), second.end(), std::uint8_t{0});
    if (!ReadSectors(device, second, next, 1)) std::fill(second.begin(), second.end(), std::uint8_t{0});
  }
  SummariseRecordBytes(record, finding);
}

void SummariseIndexBlock(ByteView sector, ScanFinding& finding) {
  std::size_t entry = indx::kEntriesBase + std::size_t{ReadLe32(sector, indx::kEntriesOffset)};
  std::optional<std::uint32_t> posixParent;
  // Each step moves on by a non-zero length, and the walk stops at 432.
  while (entry < kIndexEntriesEnd) {
    std::uint16_t length = ReadLe16(sector, entry + index_entry::kLength);
    std::uint16_t flags = ReadLe16(sector, entry + index_entry::kFlags);
    if (length == 0 || flags > kLastIndexEntryFlags) break;
    std::uint8_t space = ReadLe8(sector, entry + index_entry::kNamespace);
    if (ReadLe8(sector, entry + index_entry::kNameLength) != 0) {
      std::uint32_t parent = ReadLe32(sector, entry + index_entry::kKey + file_name::kParentReference);
      if (IsWin32Namespace(space)) {
        finding.wordA = parent;
        return;
      }
      if (space == file_name::kPosix && !posixParent) posixParent = parent;
    }
    entry += length;
  }
  if (posixParent) finding.wordA = *posixParent;
}

ScanFinding MakeFinding(ScanCategory category, ByteView block, std::uint32_t position, Sector64 sector,
                        const DeviceHandle& device) {
  ScanFinding finding;
  finding.category = category;
  finding.sector = static_cast<Sector64>(sector);
  ByteView bytes = SectorAt(block, position);
  switch (category) {
    case kCategoryMbr:
    case kCategoryEbr:
    case kCategoryNtfsBoot:
    case kCategoryFat16Boot:
    case kCategoryFat32Boot:
    case kCategoryExfatBoot:
      finding.bytes = FindingBytes(bytes, {}, {});
      break;
    case kCategoryFatDir:
      finding.wordA = EntryCluster(bytes, 0);
      finding.wordB = EntryCluster(bytes, fatdir::kEntrySize);
      break;
    case kCategoryIndexRecord:
      SummariseIndexBlock(bytes, finding);
      break;
    case kCategoryFileRecord:
      SummariseFileRecord(block, position, sector, device, finding);
      break;
    default:
      break;
  }
  return finding;
}

}  // namespace kestrum
