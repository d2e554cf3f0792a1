#pragma once
// One thing the deep scan found at a sector, with the payload its category
// carries, and how that payload is taken from the sector (and, for an MFT
// record, from the whole 1024-byte record).

#include <cstdint>
#include <string_view>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/sector.h"
#include "fs/tree/file_node.h"
#include "scan/finding_bytes.h"
#include "scan/scan_category.h"

namespace kestrum {

// Bits of ScanFinding::flags (MFT records).
namespace finding_flags {
constexpr std::uint8_t kInUse = 0x01;
constexpr std::uint8_t kDirectory = 0x02;
constexpr std::uint8_t kResidentData = 0x04;
constexpr std::uint8_t kHasIndexAllocation = 0x08;
}  // namespace finding_flags

// A plain value that owns its bytes; lists of findings are copied freely.
// A scan keeps one finding per hit, so it is kept small: fixed fields, and
// the few bytes some categories carry in one block of their own (none for
// files found by content).
struct ScanFinding {
  Sector64 sector = 0;  // absolute sector on the scanned device
  // MFT records: the $DATA attribute's real size, and its allocated size
  // (non-resident data only).
  std::uint64_t size = 0;
  std::uint64_t allocatedSize = 0;
  // Partition tables and boot sectors: a copy of the whole sector. MFT
  // records: the name, and the $DATA run list (the resident content is
  // read from the record where it is needed, never kept here).
  FindingBytes bytes;
  ScanCategory category = kNoCategory;
  // Files: the length in bytes (low, high), 0 until AssignFileExtents.
  // MFT records: the parent directory's record number, the own record number.
  // INDX records: the owning directory's record number.
  // FAT "." sectors: the first clusters of "." and "..".
  std::uint32_t wordA = 0;
  std::uint32_t wordB = 0;
  std::uint16_t dataLength = 0;  // MFT records: bytes of the run list; 0 for resident data
  std::uint8_t flags = 0;        // MFT records: finding_flags
  // Files: whether the length is where the format's own structure ends
  // (good), or the structure broke before it and the length is the scan's
  // guess (unverified); unknown for formats that do not tell.
  RecoveryChance recovery = kRecoveryUnknown;
  // Files: the file lies inside an earlier file found by content whose
  // structure covers it (a thumbnail in a raw, a member of an archive), so
  // it is listed as part of that one, not on its own.
  bool insideEarlierFile = false;

  ByteView SectorCopy() const { return bytes.SectorCopy(); }
  std::u16string_view Name() const { return bytes.Name(); }
  ByteView Runs() const { return bytes.Runs(); }
  std::uint16_t NameLength() const { return static_cast<std::uint16_t>(bytes.Name().size()); }
  std::uint64_t FileLength() const { return std::uint64_t{wordB} << 32 | wordA; }
};
static_assert(sizeof(ScanFinding) <= 56, "ScanFinding grew: a scan keeps millions");

// The finding for a sector that matched `category`. `block` holds the
// scanned block (whole sectors); the sector is the one at `position` in it,
// and `sector` is its absolute number. An MFT record whose second half lies
// beyond the block is completed from `device`.
ScanFinding MakeFinding(ScanCategory category, ByteView block, std::uint32_t position, Sector64 sector,
                        const DeviceHandle& device);

// Fills the MFT-record payload from the record that begins at `position` of
// the block: from the block itself while both sectors lie in it, else from
// its first sector and the device's next sector (read twice before it is
// given up as zeros; never read past the device's end). No fixup is applied.
void SummariseFileRecord(ByteView block, std::uint32_t position, Sector64 sector,
                         const DeviceHandle& device, ScanFinding& finding);
// The same from 1024 record bytes in memory (a shorter view is taken as
// zero-filled).
void SummariseRecordBytes(ByteView record, ScanFinding& finding);

// wordA from an INDX block's first sector: the parent reference of its first
// named entry.
void SummariseIndexBlock(ByteView sector, ScanFinding& finding);

}  // namespace kestrum
