#include "fs/fat/directory_start.h"

#include <algorithm>
#include <string_view>

#include "fs/fat/directory_entries.h"
#include "fs/fat/fat_layout.h"

namespace kestrum {

namespace {

bool IsDotEntry(ByteView entry, std::string_view name11) {
  return entry.size() == fatdir::kEntrySize && std::equal(name11.begin(), name11.end(), entry.begin()) &&
         (ReadLe8(entry, fatdir::kAttribute) & fatdir::kAttrDirectory) != 0 &&
         ReadLe8(entry, fatdir::kAttribute) != fatdir::kAttrLongName;
}

}  // namespace

DirectoryStart ReadDirectoryStart(ByteView bytes, bool fat32) {
  DirectoryStart start;
  ByteView dot = DirEntryAt(bytes, 0);
  ByteView dotDot = DirEntryAt(bytes, 1);
  if (!IsDotEntry(dot, ".          ") || !IsDotEntry(dotDot, "..         ")) return start;
  start.found = true;
  start.self = EntryFirstCluster(dot, fat32);
  start.parent = EntryFirstCluster(dotDot, fat32);
  return start;
}

bool StartsDirectoryAt(ByteView bytes, std::uint32_t cluster, bool fat32) {
  const DirectoryStart start = ReadDirectoryStart(bytes, fat32);
  return start.found && start.self == cluster;
}

}  // namespace kestrum
