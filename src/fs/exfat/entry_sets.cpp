#include "fs/exfat/entry_sets.h"

#include <algorithm>

#include "fs/dos_time.h"
#include "fs/exfat/exfat_layout.h"

namespace kestrum {

namespace {

bool IsFileEntry(std::uint8_t type) { return type == exfatentry::kFile || type == exfatentry::kDeletedFile; }
bool IsStreamEntry(std::uint8_t type) {
  return type == exfatentry::kStream || type == exfatentry::kDeletedStream;
}
bool IsNameEntry(std::uint8_t type) { return type == exfatentry::kName || type == exfatentry::kDeletedName; }

// The name buffer holds every character of the name entries, zeros
// included; the name ends at its first zero.
std::u16string_view NameUpToZero(std::u16string_view buffer) {
  return buffer.substr(0, std::min(buffer.find(u'\0'), buffer.size()));
}

}  // namespace

bool EntrySetParser::Feed(ByteView entry, FileNode& out) {
  if (ended_ || entry.size() < exfatentry::kSize) return false;
  std::uint8_t type = ReadLe8(entry, exfatentry::kType);
  if (type == exfatentry::kEndOfDirectory) {
    ended_ = true;
    return false;
  }
  if (IsFileEntry(type)) {
    inSet_ = true;
    remaining_ = ReadLe8(entry, exfatfile::kSecondaryCount);
    node_ = FileNode{};
    name_.clear();
    node_.creationTime =
        DosTimeToFileTime(ReadLe16(entry, exfatfile::kCreateDate), ReadLe16(entry, exfatfile::kCreateTime));
    node_.lastWriteTime =
        DosTimeToFileTime(ReadLe16(entry, exfatfile::kModifyDate), ReadLe16(entry, exfatfile::kModifyTime));
    folder_ = (ReadLe16(entry, exfatfile::kAttributes) & exfatfile::kAttrDirectory) != 0;
    deleted_ = type == exfatentry::kDeletedFile;
    return false;
  }
  if (!inSet_) return false;
  if (IsStreamEntry(type)) {
    node_.size = ReadLe64(entry, exfatstream::kValidDataLength);
    node_.location = ReadLe32(entry, exfatstream::kFirstCluster);
    node_.noFatChain = (ReadLe8(entry, exfatstream::kFlags) & exfatstream::kNoFatChain) != 0 ? 1 : 0;
    if (remaining_ > 0) --remaining_;
    return false;
  }
  if (!IsNameEntry(type)) return false;
  for (std::size_t k = 0; k < exfatname::kCharsPerEntry && name_.size() < exfatname::kMaxChars; ++k) {
    name_.push_back(static_cast<char16_t>(ReadLe16(entry, exfatname::kChars + 2 * k)));
  }
  bool complete = remaining_ == 0;
  if (remaining_ > 0) complete = --remaining_ == 0;
  if (!complete) return false;
  node_.type = deleted_ ? (folder_ ? kDeletedFolder : kDeletedFile) : (folder_ ? kFolder : kFile);
  node_.deletedMark = deleted_ ? 1 : 0;
  node_.name = strings_.Keep(NameUpToZero(name_));
  out = node_;
  node_ = FileNode{};
  inSet_ = false;
  return true;
}

std::vector<FileNode> ParseEntrySets(ByteView entries, NodeStrings& strings) {
  std::vector<FileNode> nodes;
  EntrySetParser parser(strings);
  FileNode node;
  for (std::size_t at = 0; at + exfatentry::kSize <= entries.size() && !parser.Ended(); at += exfatentry::kSize) {
    if (parser.Feed(entries.subspan(at, exfatentry::kSize), node)) nodes.push_back(node);
  }
  return nodes;
}

}  // namespace kestrum
