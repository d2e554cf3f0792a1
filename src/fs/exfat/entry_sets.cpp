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

std::vector<FileNode> ParseEntrySets(ByteView entries, NodeStrings& strings) {
  std::vector<FileNode> nodes;
  bool inSet = false;
  bool folder = false;
  bool deleted = false;
  unsigned remaining = 0;
  FileNode node;
  std::u16string name;
  const std::size_t count = entries.size() / exfatentry::kSize;
  // No set is shorter than a file, a stream and a name entry. Room for that
  // many is only address space until used, and spares the vector its moves.
  nodes.reserve(count / 3);
  for (std::size_t i = 0; i < count; ++i) {
    ByteView entry = entries.subspan(i * exfatentry::kSize, exfatentry::kSize);
    std::uint8_t type = ReadLe8(entry, exfatentry::kType);
    if (type == exfatentry::kEndOfDirectory) break;
    if (IsFileEntry(type)) {
      inSet = true;
      remaining = ReadLe8(entry, exfatfile::kSecondaryCount);
      node = FileNode{};
      name.clear();
      node.creationTime =
          DosTimeToFileTime(ReadLe16(entry, exfatfile::kCreateDate), ReadLe16(entry, exfatfile::kCreateTime));
      node.lastWriteTime =
          DosTimeToFileTime(ReadLe16(entry, exfatfile::kModifyDate), ReadLe16(entry, exfatfile::kModifyTime));
      folder = (ReadLe16(entry, exfatfile::kAttributes) & exfatfile::kAttrDirectory) != 0;
      deleted = type == exfatentry::kDeletedFile;
      continue;
    }
    if (!inSet) continue;
    if (IsStreamEntry(type)) {
      node.size = ReadLe64(entry, exfatstream::kValidDataLength);
      node.location = ReadLe32(entry, exfatstream::kFirstCluster);
      node.noFatChain = (ReadLe8(entry, exfatstream::kFlags) & exfatstream::kNoFatChain) != 0 ? 1 : 0;
      if (remaining > 0) --remaining;
      continue;
    }
    if (!IsNameEntry(type)) continue;
    for (std::size_t k = 0; k < exfatname::kCharsPerEntry && name.size() < exfatname::kMaxChars; ++k) {
      name.push_back(static_cast<char16_t>(ReadLe16(entry, exfatname::kChars + 2 * k)));
    }
    bool complete = remaining == 0;
    if (remaining > 0) complete = --remaining == 0;
    if (!complete) continue;
    node.type = deleted ? (folder ? kDeletedFolder : kDeletedFile) : (folder ? kFolder : kFile);
    node.deletedMark = deleted ? 1 : 0;
    node.name = strings.Keep(NameUpToZero(name));
    nodes.push_back(std::move(node));
    node = FileNode{};
    inSet = false;
  }
  return nodes;
}

}  // namespace kestrum
