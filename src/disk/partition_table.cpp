#include "disk/partition_table.h"

#include <algorithm>
#include <set>

namespace kestrum {

namespace {

constexpr int kMaxLogicalPartitions = 256;
constexpr std::uint32_t kMaxGptEntries = 1024;

bool ReadOne(const DeviceHandle& disk, Sector64 sector, std::array<std::uint8_t, kSectorSize>& out) {
  return ReadSectors(disk, out, sector, 1);
}

void ReadLogicalChain(const DeviceHandle& disk, std::uint64_t extendedStart,
                      std::vector<PartitionEntry>& out) {
  std::set<std::uint64_t> visited;
  std::uint64_t ebr = extendedStart;
  int number = 5;
  std::array<std::uint8_t, kSectorSize> sector{};
  while (number < 5 + kMaxLogicalPartitions && visited.insert(ebr).second) {
    if (!ReadOne(disk, ebr, sector) || !HasBootSignature(sector)) return;
    // Tools other than fdisk put more than one logical partition in an EBR,
    // or the link in another slot: every data entry counts, in slot order,
    // and the first extended entry, wherever it sits, leads on.
    const auto entries = ParseTableEntries(sector);
    const TableEntry* link = nullptr;
    for (const TableEntry& e : entries) {
      if (e.type == 0 || e.sectorCount == 0) continue;
      if (IsExtendedType(e.type)) {
        if (link == nullptr) link = &e;
        continue;
      }
      out.push_back({number, e.type, e.bootIndicator == mbr::kActive, ebr + e.startLba, e.sectorCount});
      ++number;
    }
    if (link == nullptr || link->startLba == 0) return;
    ebr = extendedStart + link->startLba;
  }
}

bool ReadGpt(const DeviceHandle& disk, std::vector<PartitionEntry>& out) {
  std::array<std::uint8_t, kSectorSize> header{};
  if (!ReadOne(disk, gpt::kHeaderSector, header) || !HasTag(ByteView(header), 0, "EFI PART")) {
    return false;
  }
  std::uint64_t entriesLba = ReadLe64(header, gpt::kEntriesLba);
  std::uint32_t count = std::min(ReadLe32(header, gpt::kEntryCount), kMaxGptEntries);
  std::uint32_t entrySize = ReadLe32(header, gpt::kEntrySize);
  if (entrySize < 128 || entrySize > kSectorSize || kSectorSize % entrySize != 0) return false;
  std::uint32_t perSector = kSectorSize / entrySize;
  std::array<std::uint8_t, kSectorSize> sector{};
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i % perSector == 0 && !ReadOne(disk, entriesLba + i / perSector, sector)) break;
    ByteView entry = ByteView(sector).subspan((i % perSector) * entrySize, entrySize);
    bool used = std::any_of(entry.begin(), entry.begin() + 16, [](std::uint8_t b) { return b != 0; });
    std::uint64_t first = ReadLe64(entry, gpt::kEntryFirstLba);
    std::uint64_t last = ReadLe64(entry, gpt::kEntryLastLba);
    if (!used || last < first) continue;
    out.push_back({static_cast<int>(i + 1), 0, false, first, last - first + 1});
  }
  return true;
}

}  // namespace

bool HasBootSignature(ByteView sector) {
  return ReadLe8(sector, mbr::kSignature) == 0x55 && ReadLe8(sector, mbr::kSignature + 1) == 0xAA;
}

bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::array<TableEntry, 4> ParseTableEntries(ByteView sector) {
  std::array<TableEntry, 4> entries{};
  for (std::size_t i = 0; i < mbr::kEntryCount; ++i) {
    std::size_t at = mbr::kFirstEntry + i * mbr::kEntrySize;
    entries[i].bootIndicator = ReadLe8(sector, at + mbr::kBootIndicator);
    entries[i].type = ReadLe8(sector, at + mbr::kType);
    entries[i].startLba = ReadLe32(sector, at + mbr::kStartLba);
    entries[i].sectorCount = ReadLe32(sector, at + mbr::kSectorCount);
  }
  return entries;
}

bool ReadPartitionTable(const DeviceHandle& disk, std::vector<PartitionEntry>& out) {
  out.clear();
  std::array<std::uint8_t, kSectorSize> sector{};
  if (!ReadOne(disk, 0, sector) || !HasBootSignature(sector)) return false;
  auto entries = ParseTableEntries(sector);
  bool any = false;
  for (const TableEntry& e : entries) any = any || (e.type != 0 && e.sectorCount != 0);
  if (!any) return false;
  for (const TableEntry& e : entries) {
    if (e.type == mbr::kTypeGptProtective && ReadGpt(disk, out)) return true;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TableEntry& e = entries[i];
    if (e.type == 0 || e.sectorCount == 0) continue;
    if (IsExtendedType(e.type) || e.type == mbr::kTypeGptProtective) continue;
    out.push_back({static_cast<int>(i + 1), e.type, e.bootIndicator == mbr::kActive, e.startLba,
                   e.sectorCount});
  }
  for (const TableEntry& e : entries) {
    if (IsExtendedType(e.type) && e.startLba != 0) ReadLogicalChain(disk, e.startLba, out);
  }
  return true;
}

}  // namespace kestrum
