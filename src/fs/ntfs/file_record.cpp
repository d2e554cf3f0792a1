#include "fs/ntfs/file_record.h"

#include <algorithm>

#include "fs/ntfs/ntfs_layout.h"

namespace kestrum {

using namespace ntfs;

void ApplyFixup(std::span<std::uint8_t> record) {
  if (record.size() < kRecordSize) return;
  const std::size_t strides = std::min(record.size(), kMaxRecordSize) / kFixupStride;
  // The array where the header puts it, after the header's fields; else
  // where NTFS 3.1 keeps it, as every record this reader met.
  std::size_t array = ReadLe16(record, record::kUpdateSequenceOffset);
  if (array < record::kSequence || array % 2 != 0 || array + 2 * (strides + 1) > kFixupStride - 2) {
    array = record::kUpdateSequence;
  }
  for (std::size_t i = 1; i <= strides; ++i) {
    record[i * kFixupStride - 2] = record[array + 2 * i];
    record[i * kFixupStride - 1] = record[array + 2 * i + 1];
  }
}

bool HasFileMagic(ByteView record) { return HasTag(record, record::kMagic, "FILE"); }

std::uint32_t NtfsAttribute::Type() const { return ReadLe32(bytes, attr::kType); }

bool NtfsAttribute::IsResident() const { return ReadLe8(bytes, attr::kNonResident) == 0; }

AttributeCursor::AttributeCursor(ByteView record)
    : record_(record.first(std::min(record.size(), kMaxRecordSize))),
      offset_(ReadLe16(record, record::kFirstAttribute)) {}

bool AttributeCursor::Next(NtfsAttribute& out) {
  if (done_) return false;
  done_ = true;  // until this attribute checks out
  if (!FitsIn(record_, offset_, 16)) return false;
  std::uint32_t type = ReadLe32(record_, offset_ + attr::kType);
  if (type == 0 || type == attr::kEndMarker) return false;
  std::uint32_t length = ReadLe32(record_, offset_ + attr::kLength);
  if (length < attr::kMinLength || !FitsIn(record_, offset_, length)) return false;
  out.offset = offset_;
  out.bytes = record_.subspan(offset_, length);
  offset_ += length;
  done_ = false;
  return true;
}

std::optional<NtfsAttribute> FindAttribute(ByteView record, std::uint32_t type, std::size_t from) {
  if (!HasFileMagic(record)) return std::nullopt;
  AttributeCursor cursor(record);
  NtfsAttribute attribute;
  while (cursor.Next(attribute)) {
    if (attribute.Type() == type && attribute.offset >= from) return attribute;
  }
  return std::nullopt;
}

std::optional<ByteView> ResidentValue(const NtfsAttribute& attribute) {
  if (!attribute.IsResident()) return std::nullopt;
  std::uint32_t length = ReadLe32(attribute.bytes, attr::kValueLength);
  std::uint16_t offset = ReadLe16(attribute.bytes, attr::kValueOffset);
  if (!FitsIn(attribute.bytes, offset, length)) return std::nullopt;
  return attribute.bytes.subspan(offset, length);
}

ByteView RunListBytes(const NtfsAttribute& attribute, std::size_t minBytes) {
  if (attribute.IsResident()) return {};
  std::uint16_t offset = ReadLe16(attribute.bytes, attr::kRunListOffset);
  if (offset >= attribute.bytes.size() || attribute.bytes.size() - offset < minBytes) return {};
  return attribute.bytes.subspan(offset);
}

namespace {

// Size and content of a $DATA attribute: where a resident value lies in the
// record (the bytes stay on the disk), or a copy of the run list.
void TakeData(const NtfsAttribute& attribute, FileNode& out, NodeStrings& strings) {
  if (attribute.IsResident()) {
    out.size = ReadLe32(attribute.bytes, attr::kValueLength);
    if (ResidentValue(attribute)) {
      out.residentData = 1;
      out.SetResidentAttributeOffset(static_cast<std::uint16_t>(attribute.offset));
    }
  } else {
    out.size = ReadLe64(attribute.bytes, attr::kRealSize);
    ByteView runs = RunListBytes(attribute);
    if (!runs.empty() && runs.size() < kMaxRecordSize) {
      out.data = strings.Keep(runs);
      out.location = static_cast<std::uint32_t>(runs.size());
    }
  }
}

}  // namespace

std::u16string AttributeName(const NtfsAttribute& attribute) {
  std::size_t chars = ReadLe8(attribute.bytes, attr::kNameLength);
  std::size_t offset = ReadLe16(attribute.bytes, attr::kNameOffset);
  if (chars == 0 || !FitsIn(attribute.bytes, offset, chars * 2)) return {};
  std::u16string name;
  name.reserve(chars);
  for (std::size_t i = 0; i < chars; ++i) name.push_back(ReadLe16(attribute.bytes, offset + 2 * i));
  return name;
}

void AppendNamedStreams(ByteView record, const FileNode& file, std::vector<FileNode>& out,
                        NodeStrings& strings) {
  if (!HasFileMagic(record) || file.name.empty()) return;
  AttributeCursor cursor(record);
  NtfsAttribute attribute;
  while (cursor.Next(attribute)) {
    if (attribute.Type() != attr::kData) continue;
    std::u16string stream = AttributeName(attribute);
    if (stream.empty()) continue;
    FileNode node;
    node.name = strings.Keep(std::u16string(file.name) + u":" + stream);
    node.sequence = file.sequence;  // its record's, like the file's
    node.parentId = file.parentId;
    node.parentSequence = file.parentSequence;
    node.type = file.IsDeleted() ? kDeletedFile : kFile;
    node.deletedMark = file.deletedMark;
    node.creationTime = file.creationTime;
    node.lastWriteTime = file.lastWriteTime;
    TakeData(attribute, node, strings);
    out.push_back(std::move(node));
  }
}

void SetResidentRecordPlace(FileNode& node, std::uint32_t place) {
  if (node.residentData) node.SetRecordPlace(place);
}

std::optional<ByteView> ResidentContent(ByteView record, const FileNode& node) {
  if (!node.residentData || !HasFileMagic(record) || ReadLe16(record, record::kSequence) != node.sequence) {
    return std::nullopt;
  }
  // A deleted file's record taken by a new one keeps the sequence number
  // it got when it was freed; it is in use again.
  const bool inUse = (ReadLe8(record, record::kFlags) & record::kFlagInUse) != 0;
  if (inUse == node.IsDeleted()) return std::nullopt;
  AttributeCursor cursor(record);
  NtfsAttribute attribute;
  while (cursor.Next(attribute)) {
    if (attribute.offset < node.ResidentAttributeOffset()) continue;
    if (attribute.offset > node.ResidentAttributeOffset() || attribute.Type() != attr::kData) break;
    auto value = ResidentValue(attribute);
    if (value && value->size() == node.size) return value;
    break;
  }
  return std::nullopt;
}

std::optional<std::u16string> FileNameOf(ByteView value) {
  std::size_t chars = ReadLe8(value, file_name::kNameLength);
  if (!FitsIn(value, file_name::kName, chars * 2)) return std::nullopt;
  std::u16string name(chars, u'\0');
  const std::uint8_t* bytes = value.data() + file_name::kName;
  std::size_t length = 0;
  for (; length < chars; ++length) {
    auto c = static_cast<char16_t>(bytes[2 * length] | (bytes[2 * length + 1] << 8));
    if (c == 0) break;
    name[length] = c;
  }
  name.resize(length);
  return name;
}

bool ParseFileRecord(ByteView record, FileNode& out, NodeStrings& strings) {
  out = FileNode{};
  if (!HasFileMagic(record)) return false;
  // The last name that qualifies wins; only that one is kept.
  std::u16string name;
  out.id = ReadLe32(record, record::kRecordNumber);
  out.sequence = ReadLe16(record, record::kSequence);
  out.type = static_cast<NodeType>(ReadLe8(record, record::kFlags));
  out.deletedMark = (out.type == kDeletedFile || out.type == kDeletedFolder) ? 1 : 0;

  bool haveWin32Name = false;
  bool haveData = false;
  AttributeCursor cursor(record);
  NtfsAttribute attribute;
  while (cursor.Next(attribute)) {
    switch (attribute.Type()) {
      case attr::kStandardInformation: {
        auto value = ResidentValue(attribute);
        if (!value || value->size() < std_info::kMinLength) break;
        out.creationTime = ReadLe64(*value, std_info::kCreationTime);
        out.lastWriteTime = ReadLe64(*value, std_info::kModificationTime);
        break;
      }
      case attr::kFileName: {
        auto value = ResidentValue(attribute);
        if (!value || value->size() < file_name::kName) break;
        if (out.parentId == 0) {
          out.parentId = ReadLe32(*value, file_name::kParentReference);
          out.parentSequence = ReadLe16(*value, file_name::kParentSequence);
        }
        std::uint8_t space = ReadLe8(*value, file_name::kNamespace);
        bool win32 = space == file_name::kWin32 || space == file_name::kWin32AndDos;
        // A POSIX name is the file's only long name on volumes Linux wrote;
        // it stands in until a Win32 name turns up.
        bool posixFallback = space == file_name::kPosix && !haveWin32Name && name.empty();
        if (!win32 && !posixFallback) break;
        auto found = FileNameOf(*value);
        if (!found || found->empty()) break;
        name = std::move(*found);
        haveWin32Name = haveWin32Name || win32;
        break;
      }
      case attr::kData: {
        // Named streams are nodes of their own (AppendNamedStreams).
        if (haveData || ReadLe8(attribute.bytes, attr::kNameLength) != 0) break;
        haveData = true;
        if (name.empty()) return false;
        TakeData(attribute, out, strings);
        break;
      }
      default:
        break;
    }
  }
  out.name = strings.Keep(name);
  return true;
}

}  // namespace kestrum
