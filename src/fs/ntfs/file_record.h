#pragma once
// One FILE record (1024 bytes, or up to 4096 where the volume says): the
// update-sequence fixup, the walk over its attributes, and its summary as a
// FileNode. Pure functions over bytes; every read stays inside the record,
// and a damaged attribute ends the walk.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "fs/tree/file_node.h"
#include "fs/tree/node_strings.h"

namespace kestrum {

// Puts the saved tails of the update sequence array (at the offset the
// header gives, else 0x30) back at the end of each 512 bytes of the record
// (0x1FE, 0x3FE, …, for the whole view, up to 4096 bytes). The sequence
// number is not compared: a torn record is taken as it stands. Views
// shorter than 1024 bytes are left alone.
void ApplyFixup(std::span<std::uint8_t> record);

bool HasFileMagic(ByteView record);

// One attribute of a record. `bytes` is the whole attribute and lies inside
// the record.
struct NtfsAttribute {
  std::size_t offset = 0;  // from the start of the record
  ByteView bytes;

  std::uint32_t Type() const;
  bool IsResident() const;
};

// Walks a record's attributes in order, from the offset in its header. The
// walk ends at type 0 or 0xFFFFFFFF, at the end of the record, and at the
// first attribute that is damaged: shorter than an attribute header, or
// reaching past the record.
class AttributeCursor {
 public:
  explicit AttributeCursor(ByteView record);
  bool Next(NtfsAttribute& out);

 private:
  ByteView record_;
  std::size_t offset_ = 0;
  bool done_ = false;
};

// The first attribute of `type` at or after byte `from`; none when the record
// has no "FILE" magic or no such attribute before the walk ends.
std::optional<NtfsAttribute> FindAttribute(ByteView record, std::uint32_t type,
                                           std::size_t from = 0);

// A resident attribute's value; none when the attribute is non-resident or
// its value does not lie inside the attribute.
std::optional<ByteView> ResidentValue(const NtfsAttribute& attribute);

// A non-resident attribute's run-list bytes, from the run-list offset to the
// attribute's end; empty when there are fewer than `minBytes` of them.
ByteView RunListBytes(const NtfsAttribute& attribute, std::size_t minBytes = 1);

// The UTF-16LE name of a $FILE_NAME value, cut at a NUL; none when the
// value is too short for the name it announces.
std::optional<std::u16string> FileNameOf(ByteView value);

// The record as a node: id (its own record number), type (the flags byte),
// deleted mark, parent (from the first $FILE_NAME), times, name, size, and
// of the first $DATA a copy of its run list or, for a resident value, the
// attribute's offset in the record (the value itself is not kept).
// The name is the last Win32 (or Win32-and-DOS) name; a record that has none
// takes its first POSIX name, as Linux writes them; DOS 8.3 names never
// count. The name and run list are kept in `strings`. False when the record has no "FILE" magic or its $DATA comes before
// any usable name. A true result may still carry no name: callers keep only
// named nodes.
bool ParseFileRecord(ByteView record, FileNode& out, NodeStrings& strings);

// Notes on a node with resident content where in the MFT its record lies
// (the reader's own count of record places); other nodes are left alone.
void SetResidentRecordPlace(FileNode& node, std::uint32_t place);

// A resident node's content in `record`, the node's record read again: the
// value of the $DATA attribute at the offset the node keeps. None when the
// record no longer holds it — no FILE record, another sequence number (the
// record was freed since), in use where the node is deleted or the other way
// round (a freed record taken again), no resident $DATA there, or a value of
// another size — so a changed record never passes for the file's content.
std::optional<ByteView> ResidentContent(ByteView record, const FileNode& node);

// The attribute's own name (a data stream's), empty for the unnamed one or
// a name that does not lie inside the attribute.
std::u16string AttributeName(const NtfsAttribute& attribute);

// Appends a node for every named $DATA attribute (an alternate data stream)
// of the record that `file` was parsed from: named "file:stream", beside the
// file (under the file's parent), a file of the file's state, times and
// sequence number, with the stream's size and its run list or the offset of
// its resident value. The id is left to
// the caller, which places the nodes after the records.
void AppendNamedStreams(ByteView record, const FileNode& file, std::vector<FileNode>& out,
                        NodeStrings& strings);

}  // namespace kestrum
