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

// The default up-case table on the letters names mostly hold; a letter it
// maps otherwise only costs the hash its say, and the stored length counts.
char16_t UpCase(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c == 0xFF) return 0x178;
  return c;
}

}  // namespace

std::uint16_t ExfatNameHash(std::u16string_view name) {
  std::uint16_t hash = 0;
  for (char16_t c : name) {
    const char16_t up = UpCase(c);
    for (std::uint8_t byte : {static_cast<std::uint8_t>(up & 0xFF), static_cast<std::uint8_t>(up >> 8)}) {
      hash = static_cast<std::uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + byte);
    }
  }
  return hash;
}

std::u16string_view EntrySetParser::ChosenName() const {
  const std::u16string_view chars(name_);
  auto confirmed = [&](std::size_t n) {
    return n >= 1 && n <= chars.size() && ExfatNameHash(chars.substr(0, n)) == nameHash_;
  };
  std::size_t length = nameLength_;
  if (!confirmed(length)) {
    // The name fills its last name entry at least in part, so only those
    // lengths are tried, up to its first zero first.
    const std::size_t zero = std::min(chars.find(u'\0'), chars.size());
    const std::size_t first = (nameEntries_ - 1) * exfatname::kCharsPerEntry + 1;
    const std::size_t last = std::min<std::size_t>(nameEntries_ * exfatname::kCharsPerEntry, chars.size());
    if (confirmed(zero)) {
      length = zero;
    } else {
      for (std::size_t n = first; n <= last; ++n) {
        if (confirmed(n)) {
          length = n;
          break;
        }
      }
    }
  }
  if (length == 0 || length > chars.size()) length = chars.size();
  std::u16string_view name = chars.substr(0, length);
  return name.substr(0, std::min(name.find(u'\0'), name.size()));
}

void EntrySetParser::Give(FileNode& out, bool damaged) {
  node_.type = deleted_ ? (folder_ ? kDeletedFolder : kDeletedFile) : (folder_ ? kFolder : kFile);
  node_.deletedMark = deleted_ ? 1 : 0;
  node_.damagedSet = damaged ? 1 : 0;
  node_.name = strings_.Keep(ChosenName());
  out = node_;
  node_ = FileNode{};
  inSet_ = false;
}

bool EntrySetParser::GiveOpenSet(FileNode& out) {
  if (!inSet_) return false;
  inSet_ = false;
  if (!haveStream_ || nameEntries_ == 0) return false;
  Give(out, true);
  return true;
}

bool EntrySetParser::Finish(FileNode& out) {
  if (ended_) return false;
  return GiveOpenSet(out);
}

bool EntrySetParser::Feed(ByteView entry, FileNode& out) {
  if (ended_ || entry.size() < exfatentry::kSize) return false;
  std::uint8_t type = ReadLe8(entry, exfatentry::kType);
  if (type == exfatentry::kEndOfDirectory) {
    const bool given = GiveOpenSet(out);
    ended_ = true;
    return given;
  }
  if (!(type & exfatentry::kSecondary)) {
    const bool given = GiveOpenSet(out);
    if (!IsFileEntry(type)) return given;
    inSet_ = true;
    haveStream_ = false;
    overCount_ = false;
    nameEntries_ = 0;
    remaining_ = ReadLe8(entry, exfatfile::kSecondaryCount);
    node_ = FileNode{};
    name_.clear();
    node_.creationTime =
        DosTimeToFileTime(ReadLe16(entry, exfatfile::kCreateDate), ReadLe16(entry, exfatfile::kCreateTime));
    node_.lastWriteTime =
        DosTimeToFileTime(ReadLe16(entry, exfatfile::kModifyDate), ReadLe16(entry, exfatfile::kModifyTime));
    folder_ = (ReadLe16(entry, exfatfile::kAttributes) & exfatfile::kAttrDirectory) != 0;
    deleted_ = type == exfatentry::kDeletedFile;
    return given;
  }
  if (!inSet_) return false;
  if (remaining_ > 0) {
    --remaining_;
  } else {
    overCount_ = true;
  }
  if (IsStreamEntry(type) && !haveStream_) {
    haveStream_ = true;
    node_.size = ReadLe64(entry, exfatstream::kValidDataLength);
    node_.location = ReadLe32(entry, exfatstream::kFirstCluster);
    node_.noFatChain = (ReadLe8(entry, exfatstream::kFlags) & exfatstream::kNoFatChain) != 0 ? 1 : 0;
    nameLength_ = ReadLe8(entry, exfatstream::kNameLength);
    nameHash_ = ReadLe16(entry, exfatstream::kNameHash);
  } else if (IsNameEntry(type)) {
    ++nameEntries_;
    for (std::size_t k = 0; k < exfatname::kCharsPerEntry && name_.size() < exfatname::kMaxChars; ++k) {
      name_.push_back(static_cast<char16_t>(ReadLe16(entry, exfatname::kChars + 2 * k)));
    }
  }
  if (remaining_ > 0 || !haveStream_ || nameEntries_ == 0) return false;
  Give(out, overCount_);
  return true;
}

std::vector<FileNode> ParseEntrySets(ByteView entries, NodeStrings& strings) {
  std::vector<FileNode> nodes;
  EntrySetParser parser(strings);
  FileNode node;
  for (std::size_t at = 0; at + exfatentry::kSize <= entries.size() && !parser.Ended(); at += exfatentry::kSize) {
    if (parser.Feed(entries.subspan(at, exfatentry::kSize), node)) nodes.push_back(node);
  }
  if (parser.Finish(node)) nodes.push_back(node);
  return nodes;
}

}  // namespace kestrum
