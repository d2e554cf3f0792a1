#pragma once
// Byte offsets of the file-format structures the end finders walk. Fields
// are little-endian unless the format says big-endian (PNG, JPEG, ISO media).

#include <cstddef>
#include <cstdint>

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

}  // namespace kestrum
