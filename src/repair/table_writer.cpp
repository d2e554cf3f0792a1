#include "repair/table_writer.h"

#include <algorithm>
#include <cstring>

#include "base/catalog.h"
#include "base/text.h"
#include "disk/device.h"
#include "disk/partition_table.h"
#include "disk/sector_size.h"
#include "platform/files.h"

namespace kestrum::repair {

namespace {

const SavedSector* FindSaved(const RebuildRecord& record, Sector64 sector) {
  for (const SavedSector& s : record.sectors) {
    if (s.sector == sector) return &s;
  }
  return nullptr;
}

void DropCachedRange(int fd, Sector64 sector, std::size_t bytes) {
  platform::DropCachedRange(fd, sector * kSectorSize, bytes);
}

}  // namespace

std::vector<Sector64> TableSectors(const std::vector<TableEntry>& entries) {
  std::vector<Sector64> sectors;
  for (const TableEntry& e : entries) sectors.push_back(e.tableSector);
  std::sort(sectors.begin(), sectors.end());
  sectors.erase(std::unique(sectors.begin(), sectors.end()), sectors.end());
  return sectors;
}

void ComposeTableSector(std::span<std::uint8_t> sector, const std::vector<TableEntry>& entries,
                        Sector64 tableSector) {
  if (sector.size() < kSectorSize) return;
  std::fill(sector.begin() + mbr::kFirstEntry, sector.begin() + mbr::kSignature, std::uint8_t{0});
  std::size_t slot = 0;
  for (const TableEntry& e : entries) {
    if (e.tableSector != tableSector || slot == mbr::kEntryCount) continue;
    std::copy(e.bytes.begin(), e.bytes.end(), sector.begin() + mbr::kFirstEntry + slot * mbr::kEntrySize);
    ++slot;
  }
  sector[mbr::kSignature] = 0x55;
  sector[mbr::kSignature + 1] = 0xAA;
}

void WriteAndVerify(const DeviceHandle& disk, const std::vector<SavedSector>& sectors,
                    std::vector<Sector64>& written, std::vector<Sector64>& failed) {
  std::vector<const SavedSector*> sent;
  for (const SavedSector& s : sectors) {
    if (WriteSectors(disk, s.data, s.sector)) {
      sent.push_back(&s);
    } else {
      failed.push_back(s.sector);
    }
  }
  bool flushed = platform::FlushFile(disk.fd);
  for (const SavedSector* s : sent) {
    DropCachedRange(disk.fd, s->sector, s->data.size());
    std::vector<std::uint8_t> back(s->data.size());
    if (flushed && ReadPiece(disk, s->sector, back) && back == s->data) {
      written.push_back(s->sector);
    } else {
      failed.push_back(s->sector);
    }
  }
}

std::u16string UnreadSectorMessage(Sector64 sector) {
  return TrFormat("无法读取扇区%llu，分区表没有任何改动。", static_cast<unsigned long long>(sector));
}

bool ReadPiece(const DeviceHandle& disk, Sector64 sector, std::span<std::uint8_t> out) {
  if (out.empty() || out.size() % kSectorSize != 0) return false;
  return ReadSectors(disk, out, sector, static_cast<std::uint32_t>(out.size() / kSectorSize));
}

bool WritePieces(const VolumeDescriptor& device, const RebuildRecord& before, const std::vector<SavedSector>& after,
                 RepairPrompts& prompts, WriteReport& report) {
  report = WriteReport{};
  DeviceHandle disk;
  if (!OpenDeviceForRepair(device.diskPath, disk)) {
    prompts.Inform(u"Disk write failed!");
    return false;
  }
  report.opened = true;
  for (const SavedSector& next : after) {
    const SavedSector* saved = FindSaved(before, next.sector);
    std::vector<std::uint8_t> now(next.data.size());
    if (!ReadPiece(disk, next.sector, now)) {
      prompts.Inform(u"Disk read error!");
      prompts.Inform(UnreadSectorMessage(next.sector));
      CloseDevice(disk);
      return false;
    }
    if (saved == nullptr || saved->data != now) {
      prompts.Inform(TrFormat("扇区%llu的内容与历史记录中保存的不同，分区表没有任何改动。",
                                static_cast<unsigned long long>(next.sector)));
      CloseDevice(disk);
      return false;
    }
  }
  WriteAndVerify(disk, after, report.written, report.failed);
  CloseDevice(disk);
  for (std::size_t i = 0; i < report.failed.size(); ++i) prompts.Inform(u"Disk write failed!");
  return report.failed.empty();
}

std::vector<SavedSector> ComposeTables(const std::vector<TableEntry>& entries, const RebuildRecord& before) {
  std::vector<SavedSector> tables;
  for (Sector64 sector : TableSectors(entries)) {
    SavedSector next;
    next.sector = sector;
    // Composed over what was saved: the writer refuses a sector that no
    // longer holds it.
    if (const SavedSector* saved = FindSaved(before, sector)) next.data = saved->data;
    ComposeTableSector(next.data, entries, sector);
    tables.push_back(next);
  }
  return tables;
}

bool WriteTables(const VolumeDescriptor& device, const std::vector<TableEntry>& entries,
                 const RebuildRecord& before, RepairPrompts& prompts, WriteReport& report) {
  return WritePieces(device, before, ComposeTables(entries, before), prompts, report);
}

RereadResult RereadPartitionTable(const std::u16string& diskPath) {
  switch (platform::RereadPartitionTable(diskPath)) {
    case platform::RereadResult::kDone: return RereadResult::kDone;
    case platform::RereadResult::kFailed: return RereadResult::kFailed;
    case platform::RereadResult::kNotDevice: break;
  }
  return RereadResult::kNotBlockDevice;
}

}  // namespace kestrum::repair
