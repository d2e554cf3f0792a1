// A ZIP (and the office documents built on it) ends with its end of central
// directory record. The entries are walked from the front, header by header,
// so that the record found is this archive's own and not that of an archive
// stored after it; where an entry does not give its size up front (a data
// descriptor follows its data), the first end record that agrees with its
// own central directory is taken instead.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace zip_layout;

constexpr std::string_view kEndSignature{"PK\x05\x06", 4};

std::uint32_t SignatureAt(ByteSource& source, std::uint64_t at) { return ReadLe32(source.Peek(at, 4), 0); }

// The compressed size of the entry whose local header is `header` (Zip64:
// from its extra field).
std::optional<std::uint64_t> CompressedSize(ByteSource& source, std::uint64_t at, ByteView header) {
  const std::uint32_t size = ReadLe32(header, kLocalCompressedSize);
  if (size != 0xFFFFFFFF) return size;
  const std::uint64_t extra = at + kLocalHeaderSize + ReadLe16(header, kLocalNameLength);
  const std::uint16_t extraLength = ReadLe16(header, kLocalExtraLength);
  ByteView fields = source.Peek(extra, extraLength);
  for (std::size_t i = 0; i + 4 <= fields.size();) {
    const std::uint16_t tag = ReadLe16(fields, i);
    const std::uint16_t length = ReadLe16(fields, i + 2);
    if (tag == kZip64ExtraTag && length >= 16) return ReadLe64(fields, i + kZip64ExtraCompressedSize);
    i += 4 + std::size_t{length};
  }
  return std::nullopt;
}

// The end of the end record at `at`, when its directory offset and size
// agree with where the directory was found to lie: from `directory` (when
// known) to `directoryEnd`. Zip64 archives keep the real values in their
// Zip64 end record, which precedes its locator.
FileEnd EndRecordEnd(ByteSource& source, std::uint64_t at, std::optional<std::uint64_t> directory,
                     std::uint64_t directoryEnd, std::optional<std::uint64_t> zip64End) {
  ByteView end = source.Peek(at, kEndSize);
  if (end.size() < kEndSize || ReadLe32(end, 0) != kEnd) return std::nullopt;
  const std::uint64_t fileEnd = at + kEndSize + ReadLe16(end, kEndCommentLength);
  if (!source.Fits(0, fileEnd)) return std::nullopt;
  std::uint64_t offset = ReadLe32(end, kEndDirectoryOffset);
  std::uint64_t size = ReadLe32(end, kEndDirectorySize);
  if (offset == 0xFFFFFFFF || size == 0xFFFFFFFF) {
    if (!zip64End) return std::nullopt;
    ByteView record = source.Peek(*zip64End, kZip64EndDirectoryOffset + 8);
    if (ReadLe32(record, 0) != kZip64End) return std::nullopt;
    offset = ReadLe64(record, kZip64EndDirectoryOffset);
    size = ReadLe64(record, kZip64EndDirectorySize);
  }
  if (offset + size != directoryEnd) return std::nullopt;
  if (directory && offset != *directory) return std::nullopt;
  if (size != 0 && SignatureAt(source, offset) != kCentralHeader) return std::nullopt;
  return fileEnd;
}

// The Zip64 end record named by a locator just before `at`, if there is one.
std::optional<std::uint64_t> Zip64EndBefore(ByteSource& source, std::uint64_t at) {
  if (at < kZip64LocatorSize || SignatureAt(source, at - kZip64LocatorSize) != kZip64Locator) return std::nullopt;
  const std::uint64_t record = ReadLe64(source.Peek(at - kZip64LocatorSize + 8, 8), 0);
  return record < at ? std::optional<std::uint64_t>(record) : std::nullopt;
}

// Entries whose sizes come after their data: the first end record from `at`
// on that agrees with its directory.
FileEnd SearchEndRecord(ByteSource& source, std::uint64_t at) {
  while (std::optional<std::uint64_t> hit = source.Find(at, kEndSignature)) {
    std::optional<std::uint64_t> zip64End = Zip64EndBefore(source, *hit);
    if (FileEnd end = EndRecordEnd(source, *hit, std::nullopt, zip64End.value_or(*hit), zip64End)) return end;
    at = *hit + 1;
  }
  return std::nullopt;
}

}  // namespace

FileEnd FindZipEnd(ByteSource& source) {
  std::uint64_t at = SignatureAt(source, 0) == kSpannedMarker ? 4 : 0;
  // Local entries.
  while (true) {
    const std::uint32_t signature = SignatureAt(source, at);
    if (signature == kLocalHeader) {
      ByteView header = source.Peek(at, kLocalHeaderSize);
      if (header.size() < kLocalHeaderSize) return std::nullopt;
      const bool descriptor = ReadLe16(header, kLocalFlags) & kFlagDataDescriptor;
      std::optional<std::uint64_t> size = CompressedSize(source, at, header);
      if (!size) return std::nullopt;
      if (descriptor && *size == 0) return SearchEndRecord(source, at + kLocalHeaderSize);
      at += kLocalHeaderSize + ReadLe16(header, kLocalNameLength) + ReadLe16(header, kLocalExtraLength) + *size;
      if (descriptor) {
        at += SignatureAt(source, at) == kDataDescriptor ? 4 : 0;
        at += ReadLe32(header, kLocalCompressedSize) == 0xFFFFFFFF ? kZip64DescriptorSize : kDescriptorSize;
      }
    } else if (signature == kArchiveExtraData) {
      at += kArchiveExtraDataHeaderSize + ReadLe32(source.Peek(at, 8), kArchiveExtraDataLength);
    } else {
      break;
    }
    if (!source.Fits(0, at)) return std::nullopt;
  }
  // The central directory.
  const std::uint64_t directory = at;
  while (SignatureAt(source, at) == kCentralHeader) {
    ByteView header = source.Peek(at, kCentralHeaderSize);
    if (header.size() < kCentralHeaderSize) return std::nullopt;
    at += kCentralHeaderSize + ReadLe16(header, kCentralNameLength) + ReadLe16(header, kCentralExtraLength) +
          ReadLe16(header, kCentralCommentLength);
  }
  const std::uint64_t directoryEnd = at;
  if (SignatureAt(source, at) == kDigitalSignature) {
    at += kDigitalSignatureHeaderSize + ReadLe16(source.Peek(at, 6), kSignatureSizeField);
  }
  std::optional<std::uint64_t> zip64End;
  if (SignatureAt(source, at) == kZip64End) {
    zip64End = at;
    at += kZip64EndFixedSize + ReadLe64(source.Peek(at, kZip64EndFixedSize), kZip64EndRecordSize);
    if (SignatureAt(source, at) != kZip64Locator) return std::nullopt;
    at += kZip64LocatorSize;
  }
  return EndRecordEnd(source, at, directory, directoryEnd, zip64End);
}

}  // namespace kestrum
