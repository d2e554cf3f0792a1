#pragma once
// Byte offsets of the file-format structures the end finders walk. Fields
// are little-endian unless the format says big-endian (PNG, JPEG, ISO media,
// PSD, FLAC, FLV, RealMedia, MP3 frames, SQLite; TIFF, ELF and Mach-O say
// which in their headers).

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrum {

namespace jpeg_layout {
constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kRst0 = 0xD0;
constexpr std::uint8_t kRst7 = 0xD7;
constexpr std::uint8_t kTem = 0x01;
constexpr std::size_t kSegmentLength = 0;  // big-endian 16-bit, counting itself
}  // namespace jpeg_layout

namespace png_layout {
constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kChunkLength = 0;  // big-endian 32-bit, data only
constexpr std::size_t kChunkType = 4;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kChunkCrcSize = 4;
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr std::uint32_t kIendCrc = 0xAE426082;
}  // namespace png_layout

namespace gif_layout {
constexpr std::size_t kScreenFlags = 10;  // after "GIF89a", width and height
constexpr std::size_t kHeaderSize = 13;
constexpr std::uint8_t kImage = 0x2C;
constexpr std::uint8_t kExtension = 0x21;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::size_t kImageFlags = 9;  // from the image separator
constexpr std::size_t kImageDescriptorSize = 10;
constexpr std::uint8_t kColorTableFlag = 0x80;
constexpr std::uint8_t kColorTableSizeMask = 0x07;
}  // namespace gif_layout

namespace bmp_layout {
constexpr std::size_t kFileSize = 2;
constexpr std::size_t kPixelOffset = 10;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoSize = 14;
constexpr std::size_t kWidth = 18;        // 32-bit signed (BITMAPINFOHEADER and later)
constexpr std::size_t kHeight = 22;       // 32-bit signed, negative for top-down rows
constexpr std::size_t kBitsPerPixel = 28;
constexpr std::size_t kCompression = 30;  // 0: plain rows
constexpr std::uint32_t kCoreInfoSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
}  // namespace bmp_layout

namespace riff_layout {
constexpr std::size_t kSize = 4;  // bytes after this field
constexpr std::size_t kForm = 8;  // "WAVE", "AVI "
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kChunkId = 0;
constexpr std::size_t kChunkSize = 4;
constexpr std::size_t kChunkHeaderSize = 8;
}  // namespace riff_layout

namespace zip_layout {
constexpr std::uint32_t kLocalHeader = 0x04034B50;
constexpr std::uint32_t kDataDescriptor = 0x08074B50;
constexpr std::uint32_t kArchiveExtraData = 0x08064B50;
constexpr std::uint32_t kCentralHeader = 0x02014B50;
constexpr std::uint32_t kDigitalSignature = 0x05054B50;
constexpr std::uint32_t kZip64End = 0x06064B50;
constexpr std::uint32_t kZip64Locator = 0x07064B50;
constexpr std::uint32_t kEnd = 0x06054B50;
constexpr std::uint32_t kSpannedMarker = 0x30304B50;  // "PK00" before a local header

// Local file header.
constexpr std::size_t kLocalFlags = 6;
constexpr std::size_t kLocalCompressedSize = 18;
constexpr std::size_t kLocalNameLength = 26;
constexpr std::size_t kLocalExtraLength = 28;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
// Zip64 extra field: tag, size, then the sizes that overflowed 32 bits.
constexpr std::uint16_t kZip64ExtraTag = 0x0001;
constexpr std::size_t kZip64ExtraCompressedSize = 12;  // from the tag, after the original size
// Data descriptor after the data: [signature] CRC, compressed, original size.
constexpr std::size_t kDescriptorSize = 12;
constexpr std::size_t kZip64DescriptorSize = 20;

// Central directory header.
constexpr std::size_t kCentralNameLength = 28;
constexpr std::size_t kCentralExtraLength = 30;
constexpr std::size_t kCentralCommentLength = 32;
constexpr std::size_t kCentralHeaderSize = 46;

constexpr std::size_t kSignatureSizeField = 4;  // digital signature: 16-bit data size
constexpr std::size_t kDigitalSignatureHeaderSize = 6;
constexpr std::size_t kArchiveExtraDataLength = 4;
constexpr std::size_t kArchiveExtraDataHeaderSize = 8;

// Zip64 end of central directory record and its locator.
constexpr std::size_t kZip64EndRecordSize = 4;  // 64-bit: bytes after this field
constexpr std::size_t kZip64EndFixedSize = 12;
constexpr std::size_t kZip64EndDirectorySize = 40;
constexpr std::size_t kZip64EndDirectoryOffset = 48;
constexpr std::size_t kZip64LocatorSize = 20;

// End of central directory record.
constexpr std::size_t kEndEntries = 10;  // entries in the whole directory
constexpr std::size_t kEndDirectorySize = 12;
constexpr std::size_t kEndDirectoryOffset = 16;
constexpr std::size_t kEndCommentLength = 20;
constexpr std::size_t kEndSize = 22;
}  // namespace zip_layout

namespace iso_media_layout {
constexpr std::size_t kBoxSize = 0;  // big-endian 32-bit; 1: 64-bit size follows, 0: to the file's end
constexpr std::size_t kBoxType = 4;
constexpr std::size_t kBoxLargeSize = 8;
constexpr std::size_t kBoxHeaderSize = 8;
constexpr std::size_t kLargeBoxHeaderSize = 16;
}  // namespace iso_media_layout

namespace seven_zip_layout {
constexpr std::size_t kStartHeaderCrc = 8;  // CRC of the 20 bytes that follow it
constexpr std::size_t kNextHeaderOffset = 12;  // 64-bit, from the end of this header
constexpr std::size_t kNextHeaderSize = 20;    // 64-bit
constexpr std::size_t kNextHeaderCrc = 28;
constexpr std::size_t kSignatureHeaderSize = 32;
}  // namespace seven_zip_layout

namespace rar_layout {
constexpr std::size_t kMarkerSize = 7;
constexpr std::size_t kBlockType = 2;
constexpr std::size_t kBlockFlags = 3;
constexpr std::size_t kBlockHeaderSize = 5;  // 16-bit: the header's own size
constexpr std::size_t kBlockDataSize = 7;    // 32-bit, with kFlagLongBlock or in file blocks
constexpr std::size_t kFileHighPackSize = 32;  // 32-bit, with kFlagLargeFile
constexpr std::size_t kMinBlockHeader = 7;
constexpr std::uint16_t kFlagLongBlock = 0x8000;
constexpr std::uint16_t kFlagLargeFile = 0x0100;
constexpr std::uint8_t kFirstBlockType = 0x72;  // marker
constexpr std::uint8_t kFileBlock = 0x74;
constexpr std::uint8_t kNewSubBlock = 0x7A;
constexpr std::uint8_t kEndBlock = 0x7B;
}  // namespace rar_layout

namespace ole2_layout {
constexpr std::size_t kMajorVersion = 0x1A;
constexpr std::size_t kByteOrder = 0x1C;  // FE FF
constexpr std::size_t kSectorShift = 0x1E;
constexpr std::size_t kMiniSectorShift = 0x20;
constexpr std::size_t kFatSectorCount = 0x2C;
constexpr std::size_t kFirstDirectorySector = 0x30;
constexpr std::size_t kFirstDifatSector = 0x44;
constexpr std::size_t kDifatSectorCount = 0x48;
constexpr std::size_t kHeaderDifat = 0x4C;  // the first 109 FAT sector numbers
constexpr std::uint32_t kHeaderDifatEntries = 109;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
}  // namespace ole2_layout

namespace tiff_layout {
constexpr std::size_t kMagic = 2;  // 16-bit, in the byte order of bytes 0–1
constexpr std::size_t kFirstIfd = 4;
constexpr std::size_t kHeaderSize = 8;
constexpr std::uint16_t kMagicTiff = 42;
constexpr std::uint16_t kMagicOrf = 0x4F52;   // "IIRO"
constexpr std::uint16_t kMagicOrfS = 0x5352;  // "IIRS"
constexpr std::uint16_t kMagicRw2 = 0x0055;
constexpr std::size_t kCountSize = 2;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kNextIfdSize = 4;
constexpr std::size_t kEntryTag = 0;
constexpr std::size_t kEntryType = 2;
constexpr std::size_t kEntryCount = 4;
constexpr std::size_t kEntryValue = 8;  // the value when it fits 4 bytes, else its offset
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeIfd = 13;
constexpr std::uint16_t kTagStripOffsets = 273;
constexpr std::uint16_t kTagStripByteCounts = 279;
constexpr std::uint16_t kTagTileOffsets = 324;
constexpr std::uint16_t kTagTileByteCounts = 325;
constexpr std::uint16_t kTagSubIfds = 330;
constexpr std::uint16_t kTagJpegOffset = 513;
constexpr std::uint16_t kTagJpegLength = 514;
constexpr std::uint16_t kTagExifIfd = 34665;
constexpr std::uint16_t kTagGpsIfd = 34853;
constexpr std::uint16_t kTagInteropIfd = 40965;
constexpr std::uint32_t kMaxEntries = 4096;
constexpr std::uint32_t kMaxValues = 1 << 20;
constexpr std::size_t kMaxDirectories = 512;
}  // namespace tiff_layout

namespace ts_layout {
constexpr std::size_t kPacketSize = 188;
constexpr std::size_t kM2tsPrefix = 4;  // a time stamp before every packet
constexpr std::size_t kM2tsPacketSize = 192;
constexpr std::size_t kHeaderSize = 4;
constexpr std::uint8_t kSync = 0x47;
constexpr std::uint8_t kTransportError = 0x80;     // in byte 1
constexpr std::uint8_t kAdaptationControl = 0x30;  // in byte 3
constexpr std::uint64_t kLeastPackets = 4;
}  // namespace ts_layout

namespace ebml_layout {
constexpr std::uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::uint32_t kClusterId = 0x1F43B675;
// Children of the segment: seek head, info, tracks, cluster, cues,
// chapters, tags, attachments, void, CRC-32.
constexpr std::uint32_t kTopLevelIds[] = {0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1F43B675, 0x1C53BB6B,
                                          0x1043A770, 0x1254C367, 0x1941A469, 0xEC, 0xBF};
// Children of a cluster: time stamp, simple block, block group, position,
// previous size, silent tracks, void, CRC-32.
constexpr std::uint32_t kClusterChildIds[] = {0xE7, 0xA3, 0xA0, 0xA7, 0xAB, 0x5854, 0xEC, 0xBF};
}  // namespace ebml_layout

namespace flac_layout {
constexpr std::size_t kMagicSize = 4;  // "fLaC"
constexpr std::size_t kBlockHeaderSize = 4;  // last flag and type, 24-bit big-endian length
constexpr std::uint8_t kLastBlock = 0x80;
constexpr std::uint8_t kStreamInfo = 0;
constexpr std::uint8_t kInvalidBlockType = 127;
constexpr std::size_t kStreamInfoSize = 34;
constexpr std::size_t kMinFrameSize = 4;  // in STREAMINFO: 24-bit, 0 when not known
constexpr std::size_t kTotalSamples = 13;  // in STREAMINFO: low 4 bits, then 32 bits
constexpr std::size_t kMaxFrameHeader = 16;
constexpr std::uint64_t kLeastFrame = 8;  // a header and its CRC-8, a subframe header, the CRC-16
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace flac_layout

namespace ogg_layout {
constexpr std::size_t kVersion = 4;
constexpr std::size_t kFlags = 5;
constexpr std::size_t kSerial = 14;
constexpr std::size_t kCrc = 22;
constexpr std::size_t kSegmentCount = 26;
constexpr std::size_t kHeaderSize = 27;  // then the lacing values
constexpr std::uint8_t kFirstPage = 0x02;
constexpr std::uint8_t kLastPage = 0x04;
}  // namespace ogg_layout

namespace asf_layout {
constexpr std::size_t kObjectSize = 16;  // 64-bit, after the GUID
constexpr std::size_t kObjectHeaderSize = 24;
constexpr std::uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kSimpleIndexGuid[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                               0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
constexpr std::uint8_t kIndexGuid[16] = {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,
                                         0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE};
constexpr std::uint8_t kMediaIndexGuid[16] = {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C,
                                              0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C};
constexpr std::uint8_t kTimecodeIndexGuid[16] = {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48,
                                                 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C};
}  // namespace asf_layout

namespace sqlite_layout {
constexpr std::size_t kPageSize = 16;  // big-endian 16-bit; 1 means 65536
constexpr std::size_t kWriteVersion = 18;
constexpr std::size_t kReadVersion = 19;
constexpr std::size_t kChangeCounter = 24;
constexpr std::size_t kPageCount = 28;  // valid when kValidFor equals the change counter
constexpr std::size_t kValidFor = 92;
constexpr std::size_t kHeaderSize = 100;
}  // namespace sqlite_layout

namespace zstd_layout {
constexpr std::uint32_t kMagic = 0xFD2FB528;
constexpr std::uint32_t kSkippableMagic = 0x184D2A50;
constexpr std::uint32_t kSkippableMask = 0xFFFFFFF0;
constexpr std::uint8_t kSingleSegment = 0x20;
constexpr std::uint8_t kReservedBit = 0x08;
constexpr std::uint8_t kChecksumFlag = 0x04;
constexpr std::size_t kBlockHeaderSize = 3;  // bit 0 last, bits 1–2 type, bits 3–23 size
constexpr unsigned kRleBlock = 1;
constexpr unsigned kReservedBlock = 3;
constexpr std::uint32_t kMaxBlockSize = 128 * 1024;
}  // namespace zstd_layout

namespace gzip_layout {
constexpr std::uint8_t kDeflate = 8;
constexpr std::size_t kFlags = 3;
constexpr std::size_t kHeaderSize = 10;
constexpr std::uint8_t kHeaderCrcFlag = 0x02;
constexpr std::uint8_t kExtraFlag = 0x04;
constexpr std::uint8_t kNameFlag = 0x08;
constexpr std::uint8_t kCommentFlag = 0x10;
constexpr std::uint8_t kReservedFlags = 0xE0;
constexpr std::size_t kTrailerLength = 4;  // after the CRC: the data's length modulo 2^32
constexpr std::size_t kTrailerSize = 8;
}  // namespace gzip_layout

namespace bzip2_layout {
constexpr std::size_t kHeaderSize = 4;  // "BZh" and the level '1'–'9'
constexpr std::uint64_t kBlockMagic = 0x314159265359;
constexpr std::uint64_t kEndMagic = 0x177245385090;
}  // namespace bzip2_layout

namespace xz_layout {
constexpr std::size_t kFlags = 6;  // stream flags, the same in the footer
constexpr std::size_t kHeaderCrc = 8;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kFooterCrc = 0;     // of the backward size and the flags
constexpr std::size_t kBackwardSize = 4;  // the index's size / 4 - 1
constexpr std::size_t kFooterFlags = 8;
constexpr std::size_t kFooterSize = 12;   // ending in "YZ"
constexpr std::uint64_t kMaxIndex = 1 << 20;
}  // namespace xz_layout

namespace tar_layout {
constexpr std::size_t kBlockSize = 512;
constexpr std::uint64_t kRecordSize = 20 * 512;  // the blocking factor of GNU tar and of Python's tarfile
constexpr std::size_t kSize = 124;  // octal, 12 bytes
constexpr std::size_t kSizeSize = 12;
constexpr std::size_t kChecksum = 148;  // octal, 8 bytes
constexpr std::size_t kChecksumSize = 8;
constexpr std::size_t kTypeFlag = 156;
}  // namespace tar_layout

namespace iso9660_layout {
constexpr std::uint64_t kFirstDescriptor = 16 * 2048;  // after the system area
constexpr std::size_t kDescriptorSize = 2048;
constexpr std::uint64_t kDescriptorsEnd = kFirstDescriptor + 64 * 2048;
constexpr std::size_t kIdentifier = 1;  // "CD001"
constexpr std::uint8_t kPrimary = 1;
constexpr std::uint8_t kTerminator = 255;
constexpr std::size_t kVolumeBlocks = 80;  // both-endian 32-bit: little, then big
constexpr std::size_t kBlockSize = 128;    // both-endian 16-bit
}  // namespace iso9660_layout

namespace elf_layout {
// Header fields differ in place between 32- and 64-bit files; the finder
// names both offsets where it reads them.
constexpr std::size_t kClass = 4;  // 1: 32-bit, 2: 64-bit
constexpr std::size_t kData = 5;   // 1: little-endian, 2: big-endian
constexpr std::uint16_t kHeader32Size = 52;
constexpr std::uint16_t kHeader64Size = 64;
constexpr std::uint16_t kProgram32Size = 32;
constexpr std::uint16_t kProgram64Size = 56;
constexpr std::uint16_t kSection32Size = 40;
constexpr std::uint16_t kSection64Size = 64;
constexpr std::size_t kSectionType = 4;
constexpr std::uint32_t kNoBits = 8;  // a section that takes no room in the file (.bss)
}  // namespace elf_layout

namespace macho_layout {
constexpr std::uint32_t kMagic32 = 0xFEEDFACE;  // big-endian as read; the reverse for little-endian files
constexpr std::uint32_t kMagic64 = 0xFEEDFACF;
constexpr std::uint32_t kFatMagic = 0xCAFEBABE;
constexpr std::size_t kCommandCount = 16;
constexpr std::size_t kCommandBytes = 20;
constexpr std::size_t kHeader32Size = 28;
constexpr std::size_t kHeader64Size = 32;
constexpr std::uint32_t kMaxCommands = 4096;
constexpr std::uint32_t kMaxCommandBytes = 1 << 20;
constexpr std::uint64_t kMaxImage = std::uint64_t{1} << 40;
// Load commands that place ranges in the file.
constexpr std::uint32_t kSegment = 0x01;
constexpr std::uint32_t kSymtab = 0x02;
constexpr std::uint32_t kDysymtab = 0x0B;
constexpr std::uint32_t kSegment64 = 0x19;
constexpr std::uint32_t kDyldInfo = 0x22;
constexpr std::uint32_t kDyldInfoOnly = 0x80000022;
// Link-edit data commands: a data offset at 8 and its size at 12 (code
// signature, split info, function starts, data in code, code-signing
// DRs, linker hints, exports trie, chained fixups).
constexpr std::uint32_t kLinkEditCommands[] = {0x1D, 0x1E, 0x26, 0x29, 0x2B, 0x2E, 0x80000033, 0x80000034};
// Fat header, big-endian: magic, architecture count, then 20-byte entries.
constexpr std::size_t kFatHeaderSize = 8;
constexpr std::size_t kFatArchSize = 20;
constexpr std::size_t kFatArchOffset = 8;
constexpr std::size_t kFatArchBytes = 12;
}  // namespace macho_layout
namespace macho_layout {
// Segment commands (32- and 64-bit): where their sections begin, each
// section's size, and its relocations' offset and count.
struct SegmentLayout {
  std::size_t firstSection, sectionSize, relocations, relocationCount;
};
constexpr SegmentLayout kSegment32Layout{56, 68, 48, 52};
constexpr SegmentLayout kSegment64Layout{72, 80, 56, 60};
constexpr std::uint64_t kRelocationSize = 8;
}  // namespace macho_layout

namespace pe_layout {
constexpr std::size_t kLastPageBytes = 2;  // DOS header
constexpr std::size_t kPages = 4;
constexpr std::size_t kPeOffset = 0x3C;
constexpr std::size_t kDosHeaderSize = 0x40;
// From "PE\0\0": the COFF header.
constexpr std::size_t kSectionCount = 6;
constexpr std::size_t kSymbolTable = 12;
constexpr std::size_t kSymbolCount = 16;
constexpr std::size_t kOptionalSize = 20;
constexpr std::size_t kCoffEnd = 24;
// The optional header.
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::size_t kHeadersSizeField = 60;
constexpr std::size_t kDirectories32 = 96;
constexpr std::size_t kDirectories64 = 112;
constexpr std::size_t kCertificateDirectory = 4;  // a file offset, unlike the other directories
// Section headers.
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kRawSize = 16;
constexpr std::size_t kRawPointer = 20;
constexpr std::size_t kSymbolSize = 18;
}  // namespace pe_layout

namespace mp3_layout {
constexpr std::size_t kId3HeaderSize = 10;
constexpr std::size_t kId3Flags = 5;
constexpr std::uint8_t kId3Footer = 0x10;
constexpr std::size_t kId3Size = 6;  // four 7-bit bytes, the tag after the header
constexpr std::uint32_t kSyncMask = 0xFFE00000;
// Frames of one stream agree in sync, version, layer and sample rate.
constexpr std::uint32_t kStreamMask = 0xFFFE0C00;
constexpr std::uint32_t kXingFrames = 1;
constexpr std::uint32_t kXingBytes = 2;
constexpr std::size_t kApeSize = 32;  // header or footer
constexpr std::size_t kApeTagSize = 12;  // the items and the footer
constexpr std::size_t kApeFlags = 20;
constexpr std::uint32_t kApeIsHeader = 0x20000000;
constexpr std::size_t kId3v1Size = 128;
}  // namespace mp3_layout

namespace flv_layout {
constexpr std::size_t kDataOffset = 5;  // big-endian 32-bit: the header's size
constexpr std::size_t kHeaderSize = 9;
constexpr std::size_t kTagHeaderSize = 11;  // type, 24-bit size, time stamp, stream id
constexpr std::size_t kStreamId = 8;        // 24-bit, always 0
constexpr std::uint8_t kAudio = 8;
constexpr std::uint8_t kVideo = 9;
constexpr std::uint8_t kScript = 18;
}  // namespace flv_layout

namespace real_media_layout {
constexpr std::size_t kChunkSize = 4;  // big-endian 32-bit, the header included
constexpr std::size_t kChunkHeaderSize = 10;  // id, size, version
constexpr std::string_view kChunkIds[] = {".RMF", "PROP", "MDPR", "CONT", "DATA", "INDX", "RMMD", "RJMD"};
constexpr std::size_t kPacketCount = 10;  // in the DATA chunk, after its version
constexpr std::size_t kDataHeaderSize = 18;
constexpr std::size_t kPacketLength = 2;  // 16-bit, the packet's header included
constexpr std::uint16_t kPacketHeaderSize = 12;
constexpr std::size_t kEndHeaderSize = 8;
}  // namespace real_media_layout

namespace wmf_layout {
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderWords = 2;  // 9
constexpr std::size_t kSizeWords = 6;    // 32-bit: the whole metafile in 16-bit words
constexpr std::size_t kHeaderSize = 18;
constexpr std::size_t kEofRecordSize = 6;  // size 3 words, function 0
}  // namespace wmf_layout

namespace emf_layout {
constexpr std::size_t kType = 0;
constexpr std::size_t kRecordSize = 4;
constexpr std::size_t kFileBytes = 48;  // in the header record
constexpr std::size_t kHeaderSize = 88;
constexpr std::uint32_t kHeaderRecord = 1;
constexpr std::uint32_t kEofRecord = 14;
constexpr std::uint32_t kEofRecordSize = 20;
}  // namespace emf_layout

namespace psd_layout {
constexpr std::size_t kVersion = 4;  // big-endian; 1 (2 is PSB)
constexpr std::size_t kChannels = 12;
constexpr std::size_t kHeight = 14;
constexpr std::size_t kWidth = 18;
constexpr std::size_t kDepth = 22;
constexpr std::size_t kHeaderSize = 26;
constexpr std::uint64_t kMaxSide = 30000;
constexpr std::uint16_t kRaw = 0;
constexpr std::uint16_t kRle = 1;
}  // namespace psd_layout

namespace chm_layout {
constexpr std::size_t kHeaderLength = 8;
constexpr std::size_t kSection0Offset = 0x38;  // 64-bit, then its 64-bit length
constexpr std::size_t kSection1Offset = 0x48;  // the directory ("ITSP")
constexpr std::size_t kHeaderSize = 0x60;
constexpr std::uint32_t kSection0Magic = 0x01FE;
constexpr std::size_t kFileSize = 8;  // in section 0, 64-bit
constexpr std::size_t kSection0Size = 0x18;
}  // namespace chm_layout

namespace hlp_layout {
constexpr std::uint32_t kMagic = 0x00035F3F;
constexpr std::size_t kDirectoryStart = 4;
constexpr std::size_t kFileSize = 12;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kBtreeMagicAt = 9;  // after the directory's own file header
constexpr std::uint16_t kBtreeMagic = 0x293B;
}  // namespace hlp_layout

}  // namespace kestrum
