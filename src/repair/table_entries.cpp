#include "repair/table_entries.h"

#include "base/byte_order.h"

namespace kestrum::repair {

namespace {

constexpr std::uint32_t kChsLimit = 0xFFFFFE;
constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

void PutChs(TableEntry& e, std::size_t offset, Sector64 lba) {
  ChsAddress chs = EncodeChs(lba);
  e.bytes[offset] = chs.head;
  e.bytes[offset + 1] = chs.sector;
  e.bytes[offset + 2] = chs.cylinder;
}

TableEntry Entry(Sector64 table, std::uint8_t type, Sector64 start, Sector64 count, Sector64 startChs,
                 Sector64 endChs) {
  TableEntry e;
  e.tableSector = table;
  e.bytes[entry::kType] = type;
  // 32-bit fields: the selection was checked to end below kMbrSectorLimit.
  WriteLe32(e.bytes, entry::kStartLba, static_cast<std::uint32_t>(start));
  WriteLe32(e.bytes, entry::kSectorCount, static_cast<std::uint32_t>(count));
  PutChs(e, entry::kStartChs, startChs);
  PutChs(e, entry::kEndChs, endChs);
  return e;
}

// The link from selection[i]'s table to the next EBR: in the MBR the
// extended partition (first EBR to the last selected sector), in an EBR the
// next EBR and its logical partition, relative to the extended start.
TableEntry LinkEntry(const std::vector<FoundPartition>& selection, std::size_t i, Sector64& extended,
                     std::uint32_t units) {
  const FoundPartition& next = selection[i + 1];
  std::uint8_t type;
  Sector64 start, count;
  if (extended == 0) {
    extended = next.tableSector;
    type = entry::kTypeExtended;
    start = extended;
    count = selection.back().endSector - extended + 1;
  } else {
    type = entry::kTypeLink;
    start = next.tableSector - extended;
    count = next.endSector - next.tableSector + 1;
  }
  start /= units;
  count /= units;
  return Entry(selection[i].tableSector, type, start, count, start, start + count - 1);
}

}  // namespace

const FoundPartition* FirstBeyondMbr(const std::vector<FoundPartition>& selection, std::uint32_t units) {
  for (const FoundPartition& p : selection) {
    if (p.endSector / units >= kMbrSectorLimit) return &p;
  }
  return nullptr;
}

const FoundPartition* FirstUnaligned(const std::vector<FoundPartition>& selection, std::uint32_t units) {
  for (const FoundPartition& p : selection) {
    if (p.startSector % units != 0 || (p.endSector + 1) % units != 0) return &p;
  }
  return nullptr;
}

ChsAddress EncodeChs(Sector64 lba) {
  if (lba >= kChsLimit) return {0xFE, 0xFF, 0xFF};
  const auto cylinder = static_cast<std::uint32_t>(lba / (kHeads * kSectorsPerTrack));
  ChsAddress chs;
  chs.head = static_cast<std::uint8_t>((lba / kSectorsPerTrack) % kHeads);
  chs.sector = static_cast<std::uint8_t>((lba % kSectorsPerTrack + 1) | ((cylinder / 4) & 0xC0));
  chs.cylinder = static_cast<std::uint8_t>(cylinder & 0xFF);
  return chs;
}

std::uint8_t PartitionTypeFor(ScanCategory kind) {
  switch (kind) {
    case kCategoryNtfsBoot: return entry::kTypeNtfs;
    case kCategoryFat16Boot: return entry::kTypeFat16;
    case kCategoryFat32Boot: return entry::kTypeFat32;
    case kCategoryExfatBoot: return entry::kTypeExfat;
    default: return 0;
  }
}

TableEntry MakePartitionEntry(const std::vector<FoundPartition>& selection, std::size_t i,
                              Sector64 base, std::uint32_t units) {
  const FoundPartition& p = selection[i];
  const Sector64 start = (p.startSector - base) / units;
  return Entry(base, PartitionTypeFor(p.kind), start, p.sectorCount / units, start, p.endSector / units);
}

std::vector<TableEntry> BuildTableEntries(const std::vector<FoundPartition>& selection, std::uint32_t units) {
  std::vector<TableEntry> out;
  Sector64 extended = 0;
  for (std::size_t i = 0; i < selection.size(); ++i) {
    out.push_back(MakePartitionEntry(selection, i, selection[i].tableSector, units));
    if (i + 1 < selection.size() && selection[i + 1].tableSector != 0) {
      out.push_back(LinkEntry(selection, i, extended, units));
    }
  }
  return out;
}

}  // namespace kestrum::repair
