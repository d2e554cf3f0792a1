#include "disk/partition_table.h"

#include <algorithm>
#include <set>

#include "disk/sector_size.h"

namespace kestrum {

namespace {

constexpr int kMaxLogicalPartitions = 256;

bool ReadOne(const DeviceHandle& disk, Sector64 sector, std::array<std::uint8_t, kSectorSize>& out) {
  return ReadSectors(disk, out, sector, 1);
}

// LBAs count device sectors of `units` 512-byte units each; the table of
// an EBR lies in the first 512 bytes of its sector.
void ReadLogicalChain(const DeviceHandle& disk, std::uint64_t extendedStart, std::uint64_t units,
                      std::vector<PartitionEntry>& out) {
  std::set<std::uint64_t> visited;
  std::uint64_t ebr = extendedStart;
  int number = 5;
  std::array<std::uint8_t, kSectorSize> sector{};
  while (number < 5 + kMaxLogicalPartitions && visited.insert(ebr).second) {
    if (!ReadOne(disk, ebr * units, sector) || !HasBootSignature(sector)) return;
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
      out.push_back({number, e.type, e.bootIndicator == mbr::kActive, (ebr + e.startLba) * units,
                     std::uint64_t{e.sectorCount} * units});
      ++number;
    }
    if (link == nullptr || link->startLba == 0) return;
    ebr = extendedStart + link->startLba;
  }
}

// The disk's size in its 512-byte units, a window's own.
std::uint64_t DiskSectors(const DeviceHandle& disk) {
  if (disk.windowSectors != 0) return disk.windowSectors;
  return QueryDeviceBytes(disk.fd) / kSectorSize;
}

// The partitions of a usable GPT; false (and the notes) when there is none.
// Its LBAs count the disk's own sectors.
bool ReadCheckedGpt(const DeviceHandle& disk, std::vector<PartitionEntry>& out, PartitionTableNotes* notes) {
  GptTable table;
  const std::uint64_t units = disk.sectorSize / kSectorSize;
  const std::uint64_t sectors = DiskSectors(disk) / units;
  GptRead read = ReadGpt(disk, disk.sectorSize, sectors, table);
  if (notes != nullptr) {
    notes->protectiveMbr = true;
    notes->gpt = read;
    notes->primaryFault = table.primaryFault;
    notes->backupFault = table.backupFault;
    notes->backupLba = table.fromBackup ? table.header.myLba : 0;
    notes->backupAtEnd = table.fromBackup && table.header.myLba == sectors - 1;
    notes->entryProblems = table.entryProblems;
  }
  if (read != GptRead::kPrimary && read != GptRead::kBackup) return false;
  for (const GptPartition& p : table.partitions) {
    out.push_back({static_cast<int>(p.index), 0, false, p.firstLba * units, (p.lastLba - p.firstLba + 1) * units});
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

bool ReadPartitionTable(const DeviceHandle& disk, std::vector<PartitionEntry>& out, PartitionTableNotes* notes) {
  out.clear();
  if (notes != nullptr) *notes = PartitionTableNotes{};
  // A sector size no disk has gives no table to go by.
  if (!IsDeviceSectorSize(disk.sectorSize)) return false;
  const std::uint64_t units = disk.sectorSize / kSectorSize;
  std::array<std::uint8_t, kSectorSize> sector{};
  if (!ReadOne(disk, 0, sector)) return false;
  auto entries = ParseTableEntries(sector);
  bool any = false, protective = false;
  for (const TableEntry& e : entries) {
    any = any || (e.type != 0 && e.sectorCount != 0);
    protective = protective || e.type == mbr::kTypeGptProtective;
  }
  const bool mbrTable = HasBootSignature(sector) && any;
  protective = protective && mbrTable;
  // A GPT whose protective MBR was wiped still lists.
  if ((protective || !mbrTable) && ReadCheckedGpt(disk, out, notes)) return true;
  if (notes != nullptr) notes->protectiveMbr = protective;
  if (!mbrTable) return false;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TableEntry& e = entries[i];
    if (e.type == 0 || e.sectorCount == 0) continue;
    if (IsExtendedType(e.type) || e.type == mbr::kTypeGptProtective) continue;
    out.push_back({static_cast<int>(i + 1), e.type, e.bootIndicator == mbr::kActive, e.startLba * units,
                   e.sectorCount * units});
  }
  for (const TableEntry& e : entries) {
    if (IsExtendedType(e.type) && e.startLba != 0) ReadLogicalChain(disk, e.startLba, units, out);
  }
  return true;
}

}  // namespace kestrum
