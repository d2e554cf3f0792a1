#pragma once
// The GUID partition table: a pure parser of a header sector and of its
// entry array with every check a damaged or hostile disk calls for, the
// reading of a disk's table (the backup at its end when the primary fails),
// and the builder of a whole new table. LBAs count logical sectors of
// `sectorSize` bytes; the device is read in its 512-byte units.

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/guid.h"
#include "disk/device.h"
#include "disk/gpt_layout.h"

namespace kestrum {

// Why a header, or the entry array it points at, cannot be used.
enum class GptFault : std::uint8_t {
  kNone,
  kUnreadable,      // the sector or the array would not read
  kSignature,       // no "EFI PART"
  kRevision,        // not revision 1.x
  kHeaderSize,      // below 92 bytes or beyond its sector
  kHeaderCrc,
  kWrongLba,        // the header names another LBA as its own
  kUsableArea,      // first usable after last usable, or past the disk's end
  kEntrySize,       // not 128 × 2^n, or over the bound
  kEntryCount,      // none, or an array over the bound
  kEntryArrayPlace, // the array runs past the disk, or into the header or the usable area
  kEntriesCrc,
};

struct GptHeader {
  std::uint32_t revision = 0;
  std::uint32_t headerSize = 0;
  std::uint64_t myLba = 0;
  std::uint64_t alternateLba = 0;
  std::uint64_t firstUsableLba = 0;
  std::uint64_t lastUsableLba = 0;
  Guid diskGuid{};
  std::uint64_t entriesLba = 0;
  std::uint32_t entryCount = 0;
  std::uint32_t entrySize = 0;
  std::uint32_t entriesCrc = 0;
};

struct GptPartition {
  std::uint32_t index = 0;  // place in the array, from 1
  Guid type{};
  Guid unique{};
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;  // inclusive
  std::uint64_t attributes = 0;
  std::u16string name;
};

// A used entry left out of the partitions, and why.
enum class GptEntryFault : std::uint8_t {
  kReversed,       // last LBA before first
  kPastDiskEnd,    // runs past the disk's last LBA
  kOutsideUsable,  // inside the disk, but over the table's own sectors
  kOverlap,        // shares sectors with an earlier-kept entry (`other`)
};

struct GptEntryProblem {
  std::uint32_t index = 0;
  GptEntryFault fault = GptEntryFault::kReversed;
  std::uint32_t other = 0;
};

// A header read from `sector` (one logical sector) at `lba` of a disk of
// `diskLbas` logical sectors.
GptFault ParseGptHeader(ByteView sector, std::uint64_t lba, std::uint64_t diskLbas, GptHeader& out);
// Bytes and logical sectors of the header's entry array.
std::uint64_t GptEntryArrayBytes(const GptHeader& header);
std::uint64_t GptEntryArraySectors(const GptHeader& header, std::uint32_t sectorSize);
// The used entries of an array (at least GptEntryArrayBytes long) in array
// order: kEntriesCrc when its CRC fails. Entries that cannot be used are
// left out and named in `problems`.
GptFault ParseGptEntries(ByteView array, const GptHeader& header, std::uint64_t diskLbas,
                         std::vector<GptPartition>& out, std::vector<GptEntryProblem>& problems);

// Whether the logical sector size is one a disk can have: a power of two
// from 512 to 64 KiB.
bool IsValidSectorSize(std::uint32_t sectorSize);

struct GptTable {
  GptHeader header;  // the header the partitions come from
  std::vector<std::uint8_t> entryArray;  // its entry array as read, whole sectors
  std::vector<GptPartition> partitions;
  std::vector<GptEntryProblem> entryProblems;
  bool fromBackup = false;
  GptFault primaryFault = GptFault::kNone;  // why the primary was not used
  GptFault backupFault = GptFault::kNone;   // why the backup was not, when neither was
};

enum class GptRead {
  kAbsent,   // no GPT header at LBA 1 nor at the disk's end
  kPrimary,  // from the header at LBA 1
  kBackup,   // the primary failed; from the backup
  kDamaged,  // a header is there, but neither it nor a backup can be used
};

// The disk's table: the primary header and array, or when either fails the
// backup header at the disk's last LBA (or where the primary says it lies)
// with its own array. Nothing is read outside the disk's `diskLbas`.
GptRead ReadGpt(const DeviceHandle& disk, std::uint32_t sectorSize, std::uint64_t diskLbas, GptTable& out);

// `count` logical sectors from `lba`, read whole; false past the end.
bool ReadLogicalSectors(const DeviceHandle& disk, std::uint32_t sectorSize, std::uint64_t lba,
                        std::uint64_t count, std::vector<std::uint8_t>& out);

// ---- A new table ----

struct GptNewPartition {
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;  // inclusive
  Guid type{};
  Guid unique{};
};

// Where the parts of a new table go on a disk of `diskLbas` sectors.
struct GptPlan {
  std::uint32_t sectorSize = 0;
  std::uint64_t diskLbas = 0;
  std::uint32_t entryCount = 0;
  std::uint64_t arraySectors = 0;
  std::uint64_t primaryEntriesLba = 0;
  std::uint64_t firstUsableLba = 0;
  std::uint64_t lastUsableLba = 0;
  std::uint64_t backupEntriesLba = 0;
  std::uint64_t backupHeaderLba = 0;
};

// 128 entries, or as many more as `partitions` needs, rounded up to whole
// sectors. False for a bad sector size or a disk too small for two tables.
bool PlanGpt(std::uint64_t diskLbas, std::uint32_t sectorSize, std::size_t partitions, GptPlan& out);

// Whole logical sectors of new contents, from `lba` on.
struct GptPiece {
  std::uint64_t lba = 0;
  std::vector<std::uint8_t> bytes;
};

enum class GptBuildFault : std::uint8_t { kNone, kPlan, kReversed, kOutsideUsable, kOverlap, kNoGuid };

struct GptBuildRequest {
  std::uint64_t diskLbas = 0;
  std::uint32_t sectorSize = 0;
  std::vector<GptNewPartition> partitions;  // ascending, disjoint
  Guid diskGuid{};
  // LBA 0 as it is now: the protective MBR keeps its boot code and disk
  // signature. Empty or short: zeros.
  std::vector<std::uint8_t> oldSector0;
};

// The protective MBR (LBA 0), the primary header (LBA 1) and entry array,
// the backup entry array and the backup header (last LBA), every CRC set;
// names empty. `badPartition` is the index of the partition a fault names.
GptBuildFault BuildGpt(const GptBuildRequest& request, std::vector<GptPiece>& out,
                       std::size_t* badPartition = nullptr);

// Sector 0 (one logical sector) with one entry of type 0xEE over the
// whole disk, as far as 32 bits reach; the boot code and disk signature of
// `old` stay.
std::vector<std::uint8_t> ProtectiveMbr(std::uint64_t diskLbas, std::uint32_t sectorSize,
                                        const std::vector<std::uint8_t>& old);
// Whether sector 0 holds an MBR with a protective (0xEE) entry.
bool HasProtectiveMbr(ByteView sector0);

// The primary made again from a whole backup (a table ReadGpt took from
// it): the header at LBA 1 with the backup as its twin and the array from
// LBA 2, everything else as the backup has it; and a protective MBR when
// `oldSector0` holds none. kPlan when the array does not fit before the
// first usable LBA.
GptBuildFault BuildPrimaryFromBackup(const GptTable& backup, std::uint32_t sectorSize, std::uint64_t diskLbas,
                                     const std::vector<std::uint8_t>& oldSector0, std::vector<GptPiece>& out);

}  // namespace kestrum
