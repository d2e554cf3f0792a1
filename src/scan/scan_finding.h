#pragma once
// One thing the deep scan found at a sector, with the payload its category
// carries, and how that payload is taken from the sector (and, for an MFT
// record, from the whole 1024-byte record).

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/sector.h"
#include "fs/tree/file_node.h"
#include "scan/scan_category.h"

namespace kestrum {

// Bits of ScanFinding::flags (MFT records).
namespace finding_flags {
constexpr std::uint8_t kInUse = 0x01;
constexpr std::uint8_t kDirectory = 0x02;
constexpr std::uint8_t kResidentData = 0x04;
constexpr std::uint8_t kHasIndexAllocation = 0x08;
}  // namespace finding_flags

// A plain value that owns its buffers; lists of findings are copied freely.
struct ScanFinding {
  Sector64 sector = 0;  // absolute sector on the scanned device
  ScanCategory category = kNoCategory;
  // Files: the length in bytes (low, high), 0 until AssignFileExtents.
  // MFT records: the parent directory's record number, the own record number.
  // INDX records: the owning directory's record number.
  // FAT "." sectors: the first clusters of "." and "..".
  std::uint32_t wordA = 0;
  std::uint32_t wordB = 0;
  // The small fields sit together here, beside the words, so that the
  // 64-bit sector costs no padding: a scan keeps one finding per hit.
  std::uint16_t dataLength = 0;  // MFT records: bytes of run list in `data`; 0 for a resident value
  std::uint8_t flags = 0;        // MFT records: finding_flags
  // Files: whether the length is where the format's own structure ends
  // (good), or the structure broke before it and the length is the scan's
  // guess (unverified); unknown for formats that do not tell.
  RecoveryChance recovery = kRecoveryUnknown;
  // Partition tables and boot sectors: a copy of the whole sector.
  std::vector<std::uint8_t> sectorCopy;
  // MFT records only.
  std::u16string name;
  std::vector<std::uint8_t> data;  // the $DATA run list, or its resident value
  std::uint64_t size = 0;
  std::uint64_t allocatedSize = 0;  // non-resident data only
  // Files: the file lies inside an earlier file found by content whose
  // structure covers it (a thumbnail in a raw, a member of an archive), so
  // it is listed as part of that one, not on its own.
  bool insideEarlierFile = false;

  std::uint16_t NameLength() const { return static_cast<std::uint16_t>(name.size()); }
  std::uint64_t FileLength() const { return std::uint64_t{wordB} << 32 | wordA; }
};

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
