#pragma once
// Writing partition-table sectors: every table sector is read before any is
// written, only its four entries and signature change, each write is flushed
// and read back. The disk is opened for writing here and in the undo only.

#include <array>
#include <span>
#include <vector>

#include "disk/volume_descriptor.h"
#include "repair/repair_history.h"
#include "repair/repair_prompts.h"
#include "repair/table_entries.h"

namespace kestrum::repair {

// The table sectors of the entries, each once, in ascending order: the
// order in which they are captured and written.
std::vector<Sector64> TableSectors(const std::vector<TableEntry>& entries);

// Zeroes the four entry slots, fills them from the entries of `tableSector`
// in list order and sets 55 AA; every other byte stays.
void ComposeTableSector(std::span<std::uint8_t> sector, const std::vector<TableEntry>& entries,
                        Sector64 tableSector);

struct WriteReport {
  bool opened = false;
  std::vector<Sector64> written;  // written, flushed, read back equal
  std::vector<Sector64> failed;
};

// Writes `after` over places whose old contents `before` holds (the record
// saved in the history). Nothing is written when the disk cannot be opened,
// a place cannot be read, or it no longer holds what was saved. False
// unless every sector was written.
bool WritePieces(const VolumeDescriptor& device, const RebuildRecord& before, const std::vector<SavedSector>& after,
                 RepairPrompts& prompts, WriteReport& report);

// Each table sector of the entries composed over what `before` holds for it.
std::vector<SavedSector> ComposeTables(const std::vector<TableEntry>& entries, const RebuildRecord& before);
// Those written as above.
bool WriteTables(const VolumeDescriptor& device, const std::vector<TableEntry>& entries,
                 const RebuildRecord& before, RepairPrompts& prompts, WriteReport& report);

// Writes each sector, then flushes and reads them back through the device
// (the page cache dropped first). The sectors that did not end up on disk
// are appended to `failed`.
void WriteAndVerify(const DeviceHandle& disk, const std::vector<SavedSector>& sectors,
                    std::vector<Sector64>& written, std::vector<Sector64>& failed);

// "无法读取扇区N，分区表没有任何改动。": a sector about to be overwritten could
// not be read first, so nothing was written.
std::u16string UnreadSectorMessage(Sector64 sector);

// Reads a saved place: all of `out` (whole 512-byte units) from `sector` on.
bool ReadPiece(const DeviceHandle& disk, Sector64 sector, std::span<std::uint8_t> out);

enum class RereadResult { kDone, kFailed, kNotBlockDevice };
// Asks the kernel to read the disk's partition table again.
RereadResult RereadPartitionTable(const std::u16string& diskPath);

}  // namespace kestrum::repair
