#pragma once
// MBR and EBR partition tables, and GPT behind a protective MBR: the layout,
// a pure parser for one table sector, and the walk over a whole disk.

#include <array>
#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/gpt.h"

namespace kestrum {

// One 16-byte entry of an MBR or EBR.
namespace mbr {
constexpr std::size_t kFirstEntry = 446;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kEntryCount = 4;
constexpr std::size_t kBootIndicator = 0;  // 0x80 active
constexpr std::size_t kType = 4;
constexpr std::size_t kStartLba = 8;
constexpr std::size_t kSectorCount = 12;
constexpr std::size_t kSignature = 510;  // 0x55 0xAA
constexpr std::uint8_t kActive = 0x80;
constexpr std::uint8_t kTypeGptProtective = 0xEE;
}  // namespace mbr

struct TableEntry {
  std::uint8_t bootIndicator = 0;
  std::uint8_t type = 0;
  std::uint32_t startLba = 0;
  std::uint32_t sectorCount = 0;
};

// A data partition found on a disk, in absolute 512-byte units (the table's
// LBAs count the disk's own sectors).
struct PartitionEntry {
  int number = 0;  // 1–4 primary, 5… logical (as Linux numbers them), GPT index from 1
  std::uint8_t type = 0;
  bool active = false;
  std::uint64_t startSector = 0;
  std::uint64_t sectorCount = 0;
};

bool HasBootSignature(ByteView sector);
bool IsExtendedType(std::uint8_t type);
std::array<TableEntry, 4> ParseTableEntries(ByteView sector);

// What the reading of a GPT met, for the listing to tell the user: the
// backup standing in for a damaged primary, a table that could not be
// used, entries left out.
struct PartitionTableNotes {
  bool protectiveMbr = false;  // sector 0 says a GPT follows (or none but a GPT was found)
  GptRead gpt = GptRead::kAbsent;
  GptFault primaryFault = GptFault::kNone;
  GptFault backupFault = GptFault::kNone;
  std::uint64_t backupLba = 0;  // where the backup that served lies
  bool backupAtEnd = false;     // at the disk's last sector, where it belongs
  std::vector<GptEntryProblem> entryProblems;
};

// Every data partition of the disk: primaries, the logicals of the EBR chain
// (loops and runaway chains end), or the partitions of a checked GPT (behind
// a protective MBR, or where sector 0 holds no table at all); a GPT that
// cannot be used leaves the MBR's own entries. False when the disk holds
// neither table.
bool ReadPartitionTable(const DeviceHandle& disk, std::vector<PartitionEntry>& out,
                        PartitionTableNotes* notes = nullptr);

}  // namespace kestrum
