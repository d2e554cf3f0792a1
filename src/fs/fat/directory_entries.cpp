#include "fs/fat/directory_entries.h"

#include <array>
#include <vector>

#include "fs/dos_time.h"
#include "fs/fat/fat_layout.h"
#include "fs/tree/node_array.h"

namespace kestrum {

namespace {

using fatdir::kEntrySize;

std::uint8_t Attribute(ByteView entry) { return ReadLe8(entry, fatdir::kAttribute); }
bool IsLongNameEntry(ByteView entry) { return Attribute(entry) == fatdir::kAttrLongName; }

char16_t Widen(std::uint8_t byte, bool lowerCase) {
  if (lowerCase && byte >= 'A' && byte <= 'Z') byte = static_cast<std::uint8_t>(byte - 'A' + 'a');
  return static_cast<char16_t>(byte);
}

// Room for the longest set and its terminator.
using NameBuffer = std::array<char16_t, fatlfn::kMaxEntries * fatlfn::kCharsPerEntry + 1>;

void CopyNameParts(ByteView entry, NameBuffer& buffer, std::size_t at) {
  struct Part {
    std::size_t offset;
    std::size_t count;
  };
  constexpr Part kParts[] = {{fatlfn::kChars1, fatlfn::kChars1Count},
                             {fatlfn::kChars2, fatlfn::kChars2Count},
                             {fatlfn::kChars3, fatlfn::kChars3Count}};
  for (const Part& part : kParts) {
    for (std::size_t k = 0; k < part.count; ++k) {
      buffer[at++] = static_cast<char16_t>(ReadLe16(entry, part.offset + 2 * k));
    }
  }
}

std::u16string NameUpToTerminator(const NameBuffer& buffer) {
  std::size_t n = 0;
  while (n < buffer.size() && buffer[n] != 0) ++n;
  return std::u16string(buffer.data(), n);
}

// The stored bytes of one part, without the spaces that pad it: a space
// inside the part belongs to the name ("PAD 0000").
std::size_t PaddedLength(ByteView entry, std::size_t offset, std::size_t length) {
  while (length > 0 && ReadLe8(entry, offset + length - 1) == ' ') --length;
  return length;
}

}  // namespace

bool CouldBeFileEntry(ByteView entry, std::uint64_t maxFileSize) {
  for (std::size_t i = 0; i < fatdir::kShortNameLength; ++i) {
    const std::uint8_t byte = ReadLe8(entry, fatdir::kName + i);
    // 05 first stands for a name that starts with E5, the deleted mark.
    if (byte < 0x20 && !(i == 0 && byte == fatdir::kE5Substitute)) return false;
  }
  return maxFileSize == 0 || ReadLe32(entry, fatdir::kSize) <= maxFileSize;
}

std::uint64_t MaxFileSize(const VolumeDescriptor& volume) {
  const FatGeometry g = FatGeometryOf(volume);
  return std::uint64_t{g.clusterCount} * g.ClusterBytes();
}

ByteView DirEntryAt(ByteView bytes, std::size_t index) {
  if (index >= bytes.size() / kEntrySize) return {};
  return bytes.subspan(index * kEntrySize, kEntrySize);
}

std::u16string FormatShortName(ByteView entry) {
  const std::uint8_t caseFlags = ReadLe8(entry, fatdir::kCaseFlags);
  std::u16string name;
  const std::size_t base = PaddedLength(entry, fatdir::kName, fatdir::kNameLength);
  for (std::size_t i = 0; i < base; ++i) {
    name += Widen(ReadLe8(entry, fatdir::kName + i), caseFlags & fatdir::kLowerCaseName);
  }
  const std::size_t extension = PaddedLength(entry, fatdir::kExtension, fatdir::kExtensionLength);
  if (extension != 0) {
    name += u'.';
    for (std::size_t i = 0; i < extension; ++i) {
      name += Widen(ReadLe8(entry, fatdir::kExtension + i), caseFlags & fatdir::kLowerCaseExtension);
    }
  }
  // A zero byte ends the name, as it ends any string of characters.
  std::size_t nul = name.find(u'\0');
  if (nul != std::u16string::npos) name.resize(nul);
  return name;
}

std::uint8_t ShortNameChecksum(ByteView entry) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < fatdir::kShortNameLength; ++i) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + ReadLe8(entry, fatdir::kName + i));
  }
  return sum;
}

LongName AssembleLongName(ByteView bytes, std::size_t index) {
  const std::size_t count = bytes.size() / kEntrySize;
  NameBuffer buffer{};
  LongName result;
  std::size_t p = index;
  // Each pass starts a set at entry p; a set broken by the start of another
  // set starts over with that one. p only moves forward.
  for (;;) {
    result.stop = p;
    ByteView entry = DirEntryAt(bytes, p);
    std::uint8_t ordinal = ReadLe8(entry, fatlfn::kOrdinal);
    if (!(ordinal & fatlfn::kLastEntryFlag)) return result;
    std::uint32_t n = ordinal & static_cast<std::uint8_t>(~fatlfn::kLastEntryFlag);
    if (n == 0 || n > fatlfn::kMaxEntries) return result;
    const std::uint8_t checksum = ReadLe8(entry, fatlfn::kChecksum);

    bool startOver = false;
    for (;;) {
      CopyNameParts(entry, buffer, (n - 1) * fatlfn::kCharsPerEntry);
      if (ReadLe8(entry, fatlfn::kOrdinal) & fatlfn::kLastEntryFlag) {
        buffer[n * fatlfn::kCharsPerEntry] = 0;
      }
      result.stop = ++p;
      if (p >= count) return result;
      ByteView next = DirEntryAt(bytes, p);
      if (n == 1) break;
      if (!IsLongNameEntry(next)) return result;
      std::uint8_t nextOrdinal = ReadLe8(next, fatlfn::kOrdinal);
      if (nextOrdinal == n - 1 && ReadLe8(next, fatlfn::kChecksum) == checksum) {
        --n;
        entry = next;
        continue;
      }
      if (nextOrdinal & fatlfn::kLastEntryFlag) {
        startOver = true;
        break;
      }
      return result;
    }
    if (startOver) continue;

    ByteView shortEntry = DirEntryAt(bytes, p);
    if (IsLongNameEntry(shortEntry)) {
      if (ReadLe8(shortEntry, fatlfn::kOrdinal) & fatlfn::kLastEntryFlag) continue;
      return result;
    }
    std::uint8_t first = ReadLe8(shortEntry, fatdir::kName);
    if (first == fatdir::kEndOfDirectory || first == fatdir::kDeleted ||
        (Attribute(shortEntry) & fatdir::kAttrVolumeLabel)) {
      return result;
    }
    if (ShortNameChecksum(shortEntry) != checksum) return result;
    result.name = NameUpToTerminator(buffer);
    result.found = !result.name.empty();
    return result;
  }
}

std::uint32_t EntryFirstCluster(ByteView entry, bool fat32) {
  std::uint32_t low = ReadLe16(entry, fatdir::kClusterLow);
  if (!fat32) return low;
  std::uint32_t high = ReadLe16(entry, fatdir::kClusterHigh);
  return ((high << 16) | low) & 0x0FFFFFFF;
}

namespace {

FileNode EntryNode(const std::u16string& name, ByteView entry, VolumeDescriptor& volume, std::uint32_t parent) {
  FileNode node;
  node.name = NodesOf(volume).strings.Keep(name);
  node.parentId = parent;
  node.size = ReadLe32(entry, fatdir::kSize);
  node.creationTime = DosTimeToFileTime(ReadLe16(entry, fatdir::kCreationDate),
                                        ReadLe16(entry, fatdir::kCreationTime));
  node.lastWriteTime = DosTimeToFileTime(ReadLe16(entry, fatdir::kWriteDate),
                                         ReadLe16(entry, fatdir::kWriteTime));
  node.type = (Attribute(entry) & fatdir::kAttrDirectory) ? kFolder : kFile;
  node.location = EntryFirstCluster(entry, IsFat32Volume(volume));
  return node;
}

}  // namespace

std::uint32_t AddEntryNode(const std::u16string& name, ByteView entry, VolumeDescriptor& volume,
                           std::uint32_t parent) {
  if (ReadLe8(entry, fatdir::kName) == fatdir::kDeleted) return 0;
  return AppendNode(volume, EntryNode(name, entry, volume, parent));
}

std::uint32_t AddDeletedEntryNode(const std::u16string& name, ByteView entry, VolumeDescriptor& volume,
                                  std::uint32_t parent) {
  FileNode node = EntryNode(name, entry, volume, parent);
  node.type = node.type == kFolder ? kDeletedFolder : kDeletedFile;
  node.deletedMark = 1;
  return AppendNode(volume, node);
}

namespace {

// Whether the deleted long-name entries before `index` spell a name for the
// short entry there: parts nearest the short entry come first, all with one
// checksum; the last part ends the name (a NUL, then only FFFF padding),
// the others hold no NUL. A part whose attribute byte was damaged still
// counts: its bytes cannot be a short entry. `name` gets the name.
bool DeletedLongName(ByteView bytes, std::size_t index, std::uint64_t maxFileSize, std::u16string& name) {
  ByteView shortEntry = DirEntryAt(bytes, index);
  std::vector<ByteView> parts;
  for (std::size_t k = index; k-- > 0 && parts.size() < fatlfn::kMaxEntries;) {
    ByteView e = DirEntryAt(bytes, k);
    if (ReadLe8(e, fatlfn::kOrdinal) != fatdir::kDeleted) break;
    if (!IsLongNameEntry(e) && CouldBeFileEntry(e, maxFileSize)) break;
    if (!parts.empty() && ReadLe8(e, fatlfn::kChecksum) != ReadLe8(parts[0], fatlfn::kChecksum)) break;
    parts.push_back(e);
  }
  if (parts.empty()) return false;
  const std::uint8_t checksum = ReadLe8(parts[0], fatlfn::kChecksum);
  std::array<std::uint8_t, fatdir::kEntrySize> probe{};
  std::copy(shortEntry.begin(), shortEntry.end(), probe.begin());
  bool fits = false;
  for (unsigned first = 1; first < 256 && !fits; ++first) {
    probe[fatdir::kName] = static_cast<std::uint8_t>(first);
    fits = first != fatdir::kDeleted && ShortNameChecksum(probe) == checksum;
  }
  if (!fits) return false;
  NameBuffer buffer{};
  for (std::size_t p = 0; p < parts.size(); ++p) CopyNameParts(parts[p], buffer, p * fatlfn::kCharsPerEntry);
  const std::size_t total = parts.size() * fatlfn::kCharsPerEntry;
  std::size_t end = 0;
  while (end < total && buffer[end] != 0) ++end;
  // A set that breaks off early belonged to a longer name, or to nothing.
  if (end + fatlfn::kCharsPerEntry < total) return false;
  for (std::size_t k = end + 1; k < total; ++k) {
    if (buffer[k] != 0xFFFF) return false;
  }
  name.assign(buffer.data(), end);
  return !name.empty();
}

}  // namespace

std::u16string DeletedEntryName(ByteView bytes, std::size_t index, std::uint64_t maxFileSize) {
  std::u16string name;
  if (DeletedLongName(bytes, index, maxFileSize, name)) return name;
  std::array<std::uint8_t, fatdir::kEntrySize> shown{};
  ByteView entry = DirEntryAt(bytes, index);
  std::copy(entry.begin(), entry.end(), shown.begin());
  shown[fatdir::kName] = '_';
  return FormatShortName(shown);
}

namespace {

// Where a parse of some of a directory's entries stopped.
struct ParseStop {
  std::size_t next = 0;  // the entry not parsed yet
  bool ended = false;    // at the end-of-directory entry
  std::uint32_t added = 0;
};

// Parses the entries of `bytes` from entry `from` on. Unless the bytes are
// the directory's `last`, it stops before a long-name set that runs past
// them: more bytes may complete it.
ParseStop ParseEntriesFrom(ByteView bytes, std::size_t from, bool last, VolumeDescriptor& volume,
                           std::uint32_t parent, DeletedEntries deleted, std::uint64_t maxFileSize) {
  const std::size_t count = bytes.size() / kEntrySize;
  std::uint32_t added = 0;
  std::size_t i = from;
  while (i < count) {
    ByteView entry = DirEntryAt(bytes, i);
    if (ReadLe8(entry, fatdir::kName) == fatdir::kEndOfDirectory) return {i, true, added};
    std::uint8_t attribute = Attribute(entry);
    // Attribute 0 is a plain file (no archive bit, as backup tools leave
    // them), not an empty slot: only the label entry is skipped, and bytes
    // no short entry holds (a long-name part whose attribute was damaged).
    if (attribute == fatdir::kAttrVolumeLabel ||
        (attribute != fatdir::kAttrLongName && !CouldBeFileEntry(entry, maxFileSize))) {
      ++i;
      continue;
    }
    if (ReadLe8(entry, fatdir::kName) == fatdir::kDeleted) {
      // Deleted long-name parts are read back from their short entry.
      if (attribute != fatdir::kAttrLongName && !(attribute & fatdir::kAttrVolumeLabel) &&
          deleted != DeletedEntries::kSkip) {
        if (AddDeletedEntryNode(DeletedEntryName(bytes, i, maxFileSize), entry, volume, parent) != 0) ++added;
      }
      ++i;
      continue;
    }
    std::u16string name;
    if (attribute == fatdir::kAttrLongName) {
      LongName longName = AssembleLongName(bytes, i);
      if (longName.stop >= count && !last) break;
      if (!longName.found) {
        // An orphaned or broken part: drop it. Where the set broke off at an
        // ordinary entry, that entry is taken on its own, under its short name.
        i = IsLongNameEntry(DirEntryAt(bytes, longName.stop)) ? longName.stop + 1 : longName.stop;
        continue;
      }
      name = std::move(longName.name);
      i = longName.stop;
      entry = DirEntryAt(bytes, i);
    } else {
      name = FormatShortName(entry);
    }
    if (!name.empty() && name != u"." && name != u"..") {
      std::uint32_t index = deleted == DeletedEntries::kAll ? AddDeletedEntryNode(name, entry, volume, parent)
                                                           : AddEntryNode(name, entry, volume, parent);
      if (index != 0) ++added;
    }
    ++i;
  }
  return {i, false, added};
}

}  // namespace

std::uint32_t ParseDirEntries(ByteView bytes, VolumeDescriptor& volume, std::uint32_t parent,
                              DeletedEntries deleted) {
  return ParseEntriesFrom(bytes, 0, true, volume, parent, deleted, MaxFileSize(volume)).added;
}

DirEntryStream::DirEntryStream(VolumeDescriptor& volume, std::uint32_t parent, DeletedEntries deleted)
    : volume_(volume), parent_(parent), deleted_(deleted), maxFileSize_(MaxFileSize(volume)) {}

void DirEntryStream::Add(ByteView piece) {
  if (ended_) return;
  held_.insert(held_.end(), piece.begin(), piece.end());
  // A set still open is assembled again from its start: waiting until the
  // bytes held have doubled keeps a damaged run of sets that start over
  // and over from costing a pass over the whole run at every cluster.
  if (held_.size() < waitFor_) return;
  Parse(false);
  // A deleted entry's long name lies in the entries just before it.
  if (next_ > fatlfn::kMaxEntries) {
    const std::size_t drop = next_ - fatlfn::kMaxEntries;
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(drop * kEntrySize));
    next_ -= drop;
  }
  waitFor_ = next_ < held_.size() / kEntrySize ? 2 * held_.size() : 0;
}

std::uint32_t DirEntryStream::Finish() {
  if (!ended_) Parse(true);
  ended_ = true;
  return added_;
}

void DirEntryStream::Parse(bool last) {
  const ParseStop stop = ParseEntriesFrom(held_, next_, last, volume_, parent_, deleted_, maxFileSize_);
  next_ = stop.next;
  ended_ = stop.ended;
  added_ += stop.added;
}

}  // namespace kestrum
