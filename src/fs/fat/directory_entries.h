#pragma once
// FAT directory entries to tree nodes: short names, long names joined from
// their entry sets, and the nodes for live entries. Pure over the bytes of a
// directory; reading them from the device is the reader's business, and the
// rebuild from scanned directory sectors parses with the same code.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

// The 32 bytes of entry `index`, or an empty view past the end.
ByteView DirEntryAt(ByteView bytes, std::size_t index);

// The 8 name bytes without their trailing spaces, then "." and the 3
// extension bytes without theirs when there is an extension; spaces inside
// either part stay. Each byte becomes the character of the same value; the
// lower-case flags of byte 12 apply to A–Z.
std::u16string FormatShortName(ByteView entry);

// The checksum that ties long-name entries to their short entry.
std::uint8_t ShortNameChecksum(ByteView entry);

struct LongName {
  bool found = false;
  std::u16string name;
  // Index of the entry the assembly stopped on: the short entry of the set
  // when found; may be the entry count when the data ended.
  std::size_t stop = 0;
};

// Joins the long-name set that starts at entry `index` (its last part,
// stored first). Found only when the parts come in ordinal order with one
// checksum and are followed by a live short entry with that checksum.
LongName AssembleLongName(ByteView bytes, std::size_t index);

// The first cluster of an entry: FAT32 keeps the high word at 20.
std::uint32_t EntryFirstCluster(ByteView entry, bool fat32);

// Appends the node of a live short entry under `parent` and answers its
// index; 0 (never a node's index) for a deleted entry, which is not listed.
std::uint32_t AddEntryNode(const std::u16string& name, ByteView entry, VolumeDescriptor& volume,
                           std::uint32_t parent);
// The same for an entry taken as deleted: a DeletedFile or DeletedFolder.
std::uint32_t AddDeletedEntryNode(const std::u16string& name, ByteView entry, VolumeDescriptor& volume,
                                  std::uint32_t parent);

// Whether a short entry's bytes can describe a file: no NUL or control byte
// in its name (05 first stands for E5), and a size no larger than
// `maxFileSize` (0: not known). Deleted long-name parts whose attribute byte
// was damaged fail it, with their UTF-16 text and FFFF padding.
bool CouldBeFileEntry(ByteView entry, std::uint64_t maxFileSize);
// The largest file the volume's clusters can hold; 0 when its boot sector
// tells no clusters (a volume rebuilt from directory sectors).
std::uint64_t MaxFileSize(const VolumeDescriptor& volume);

// The name of a deleted short entry (first byte E5): the long name when the
// deleted long-name entries just before it (also those whose attribute byte
// was damaged) still hold one whose checksum fits the short entry (its lost
// first byte may be any), else the short name with the lost first character
// shown as "_".
std::u16string DeletedEntryName(ByteView bytes, std::size_t index, std::uint64_t maxFileSize);

// How ParseDirEntries treats deleted entries.
enum class DeletedEntries {
  kSkip,  // the existing tree only
  kList,  // deleted entries too, as DeletedFile and DeletedFolder
  kAll,   // a deleted folder's content: every entry counts as deleted
};

// Appends a node for every live file and folder of the directory bytes (a
// whole number of entries; a partial entry at the end is ignored), in entry
// order, under `parent`, and for the deleted ones as `deleted` says. "." and
// "..", volume labels, orphaned long-name parts and entries that cannot
// describe a file (CouldBeFileEntry) are not listed; entries without
// attribute bits are plain files. Returns the nodes appended.
std::uint32_t ParseDirEntries(ByteView bytes, VolumeDescriptor& volume, std::uint32_t parent,
                              DeletedEntries deleted = DeletedEntries::kSkip);

// The same parse over a directory handed over piece by piece as its clusters
// are read, appending the same nodes in the same order as ParseDirEntries
// over all the pieces together. It holds little beyond what a name may still
// need: the entries of a long-name set not yet complete (and the pieces that
// came after it until they are parsed), and the 20 entries before the next
// one (where a deleted entry's long name lies), so that a folder of 65,536
// entries is not held whole beside its nodes.
class DirEntryStream {
 public:
  DirEntryStream(VolumeDescriptor& volume, std::uint32_t parent, DeletedEntries deleted);
  // The next bytes of the directory (any length; a partial entry waits for
  // the rest).
  void Add(ByteView piece);
  // No more bytes: parses what is left. Returns the nodes appended in all.
  std::uint32_t Finish();

 private:
  void Parse(bool last);

  VolumeDescriptor& volume_;
  std::uint32_t parent_;
  DeletedEntries deleted_;
  std::uint64_t maxFileSize_;
  std::vector<std::uint8_t> held_;  // the directory's bytes from some entry on
  std::size_t next_ = 0;            // the entry of held_ to parse next
  std::size_t waitFor_ = 0;         // bytes to hold before parsing again
  bool ended_ = false;              // the end-of-directory entry was met
  std::uint32_t added_ = 0;
};

}  // namespace kestrum
