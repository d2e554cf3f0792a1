#pragma once
// Whether a sector is a file-system structure: a partition table or boot
// sector (sectors ending in 55 AA), an NTFS FILE or INDX record, a FAT
// subdirectory or root directory sector, or an exFAT directory sector.

#include "base/byte_order.h"
#include "disk/sector.h"
#include "scan/scan_category.h"

namespace kestrum {

// Fields of a FILE record header that only the candidate test reads.
namespace record_test {
constexpr std::size_t kUsedSize = 0x18;       // 32 bits
constexpr std::size_t kAllocatedSize = 0x1C;  // 32 bits
constexpr std::uint16_t kFirstAttributeOffset = 0x38;
constexpr std::uint32_t kRecordBytes = 1024;
}  // namespace record_test

// A sector beginning with "FILE" that is laid out as a 1024-byte MFT record
// whose first attribute has a type a record can begin with.
bool IsMftRecordCandidate(ByteView sector);

// Runs on every sector of a scan: reads only the sector (512 bytes; a
// shorter view matches nothing) and allocates nothing. `sectorNumber` tells
// an MBR (sector 0) from an EBR. False, with kNoCategory, when the sector is
// no structure the scan knows.
bool ClassifySector(ByteView sector, Sector64 sectorNumber, ScanCategory& category);

}  // namespace kestrum
