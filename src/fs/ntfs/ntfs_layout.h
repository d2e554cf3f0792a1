#pragma once
// NTFS on-disk structures, as far as the reader uses them: byte offsets
// (little-endian fields) inside the boot sector, a FILE record, an attribute
// header, the attribute values read, and index entries and INDX blocks.

#include <cstddef>
#include <cstdint>

#include "disk/sector.h"

namespace kestrum::ntfs {

// FILE records are 1024 bytes on most volumes, and as large as the boot
// sector says on others (4096 on volumes of 4096-byte sectors); the update
// sequence protects each 512 bytes of one.
constexpr std::size_t kRecordSize = 1024;
constexpr std::uint32_t kRecordSectors = kRecordSize / kSectorSize;
constexpr std::size_t kMaxRecordSize = 4096;
constexpr std::size_t kFixupStride = 512;
// The MFT is read, and files are copied, 8192 sectors (4 MiB) at a time.
constexpr std::uint32_t kChunkSectors = 8192;
constexpr std::uint32_t kChunkRecords = kChunkSectors / kRecordSectors;

// Well-known record numbers.
constexpr std::uint32_t kMftRecord = 0;
constexpr std::uint32_t kVolumeRecord = 3;  // $Volume, holds the label
constexpr std::uint32_t kBitmapRecord = 6;  // $Bitmap: one bit for every cluster in use
constexpr std::uint32_t kRootRecord = 5;
// Records 0–24 are the file system's own; user files start above.
constexpr std::uint32_t kLastSystemRecord = 24;

namespace boot {
constexpr std::size_t kOemId = 3;               // "NTFS    "
constexpr std::size_t kBytesPerSector = 0x0B;   // 16 bits: 512 … 4096; the counts below are of these
constexpr std::size_t kSectorsPerCluster = 13;  // 8 bits
constexpr std::uint32_t kMaxPlainSectorsPerCluster = 128;  // above: 256 - log2(sectors)
constexpr std::uint32_t kMaxClusterShift = 12;  // 2^12 sectors: 2 MiB clusters
constexpr std::size_t kTotalSectors = 0x28;     // 64 bits
constexpr std::size_t kMftCluster = 0x30;       // 64 bits
constexpr std::size_t kMirrorCluster = 0x38;    // 64 bits
constexpr std::size_t kClustersPerRecord = 0x40;      // signed 8 bits; negative: 2^-v bytes
constexpr std::size_t kClustersPerIndexBlock = 0x44;  // signed 8 bits; negative: 2^-v bytes
}  // namespace boot

namespace record {
constexpr std::size_t kMagic = 0;                // "FILE"
constexpr std::size_t kUpdateSequenceOffset = 4;  // 16 bits
constexpr std::size_t kSequence = 0x10;          // 16 bits, raised each time the record is freed
constexpr std::size_t kFirstAttribute = 0x14;    // 16 bits
constexpr std::size_t kFlags = 0x16;             // low byte of the flags word
constexpr std::size_t kRecordNumber = 0x2C;      // 32 bits
constexpr std::size_t kAllocatedSize = 0x1C;     // 32 bits: the record's own size in bytes
constexpr std::size_t kUpdateSequence = 0x30;    // 16-bit number, then one saved tail per 512 bytes
constexpr std::size_t kSavedTail1 = 0x32;        // belongs at 0x1FE
constexpr std::size_t kSavedTail2 = 0x34;        // belongs at 0x3FE
constexpr std::size_t kSector1Tail = 0x1FE;
constexpr std::size_t kSector2Tail = 0x3FE;
constexpr std::uint8_t kFlagInUse = 0x01;
constexpr std::uint8_t kFlagDirectory = 0x02;
}  // namespace record

namespace attr {
constexpr std::size_t kType = 0;            // 32 bits
constexpr std::size_t kLength = 4;          // 32 bits, the whole attribute
constexpr std::size_t kNonResident = 8;     // 8 bits
constexpr std::size_t kNameLength = 9;      // 8 bits, UTF-16 units; 0 for the unnamed attribute
constexpr std::size_t kNameOffset = 0x0A;   // 16 bits, from the attribute
constexpr std::size_t kValueLength = 0x10;  // resident: 32 bits
constexpr std::size_t kValueOffset = 0x14;  // resident: 16 bits, from the attribute
constexpr std::size_t kRunListOffset = 0x20;  // non-resident: 16 bits, from the attribute
constexpr std::size_t kAllocatedSize = 0x28;  // non-resident: 64 bits
constexpr std::size_t kRealSize = 0x30;       // non-resident: 64 bits
// The resident header ends at 0x18; nothing shorter can be an attribute.
constexpr std::uint32_t kMinLength = 0x18;

constexpr std::uint32_t kStandardInformation = 0x10;
constexpr std::uint32_t kFileName = 0x30;
constexpr std::uint32_t kVolumeName = 0x60;
constexpr std::uint32_t kData = 0x80;
constexpr std::uint32_t kIndexRoot = 0x90;
constexpr std::uint32_t kIndexAllocation = 0xA0;
constexpr std::uint32_t kEndMarker = 0xFFFFFFFF;
}  // namespace attr

// $STANDARD_INFORMATION value.
namespace std_info {
constexpr std::size_t kCreationTime = 0;      // FILETIME
constexpr std::size_t kModificationTime = 8;  // FILETIME
constexpr std::size_t kMinLength = 16;
}  // namespace std_info

// $FILE_NAME value (also the key of an index entry).
namespace file_name {
constexpr std::size_t kParentReference = 0;  // 64 bits; the low 32 are the record number
constexpr std::size_t kParentSequence = 6;   // 16 bits: the top of the reference
constexpr std::size_t kNameLength = 0x40;    // 8 bits, in UTF-16 units
constexpr std::size_t kNamespace = 0x41;     // 8 bits
constexpr std::size_t kName = 0x42;          // UTF-16LE
constexpr std::uint8_t kPosix = 0;
constexpr std::uint8_t kWin32 = 1;
constexpr std::uint8_t kDos = 2;
constexpr std::uint8_t kWin32AndDos = 3;
}  // namespace file_name

// One entry of an $INDEX_ROOT value or an INDX block.
namespace index_entry {
constexpr std::size_t kFileReference = 0;  // 64 bits; the low 32 are the record number
constexpr std::size_t kLength = 8;         // 16 bits
constexpr std::size_t kFlags = 12;         // 16 bits; 0 or 1: more entries follow
constexpr std::size_t kKey = 0x10;         // a $FILE_NAME value
constexpr std::size_t kNameLength = kKey + file_name::kNameLength;  // 0x50
constexpr std::size_t kNamespace = kKey + file_name::kNamespace;    // 0x51
constexpr std::uint16_t kFlagHasSubnode = 0x01;
// An $INDEX_ROOT value's first entry.
constexpr std::size_t kRootFirstEntry = 32;
}  // namespace index_entry

namespace indx {
constexpr std::size_t kMagic = 0;          // "INDX"
constexpr std::size_t kEntriesBase = 0x18;  // the entries start at 0x18 + the 32-bit value here
constexpr std::size_t kEntriesOffset = 0x18;
// What one INDX block holds unless the boot sector says otherwise.
constexpr std::uint32_t kDefaultBlockSectors = 8;
constexpr std::uint32_t kMaxBlockSectors = 128;
}  // namespace indx

}  // namespace kestrum::ntfs
