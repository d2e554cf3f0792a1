#pragma once
// Tests of single 512-byte sectors for exFAT directory content, for the
// sector classifier of the deep scan: the first sector of a root directory,
// and a sector of entry sets. Pure functions over the bytes.

#include "base/byte_order.h"

namespace kestrum {

// A volume-label entry whose shape holds: a character count of at most 15,
// that many non-zero characters, and zeros after them.
bool IsLabelEntryShape(ByteView entry);

// Entry 0 a well-formed label entry (live or deleted), entry 1 the
// allocation bitmap, entry 2 the up-case table, and entry sets from entry 3.
bool IsExfatRootSector(ByteView sector);

// Entries firstEntry … 15 form a sequence of entry sets (file entry, stream,
// names), at least one of them complete, up to an end-of-directory entry or
// the end of the sector. Stream and name entries before the first file
// entry (the tail of a set from the previous sector) and well-formed label
// entries between sets are accepted; any other entry type is not.
bool IsEntrySetSector(unsigned firstEntry, ByteView sector);

}  // namespace kestrum
