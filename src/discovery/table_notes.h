#pragma once
// What the listing tells the user about a disk's GPT: the backup standing in
// for a damaged primary, a table neither copy of which can be used, entries
// left out. Said once per disk per listing.

#include <string>
#include <vector>

#include "disk/partition_table.h"

namespace kestrum {

// The reason a header or its array was refused, as the messages name it.
std::u16string GptFaultText(GptFault fault);
// One line per thing to tell, each naming the disk; none for a whole GPT or
// a disk without one.
std::vector<std::u16string> TableNoteLines(const PartitionTableNotes& notes, const std::u16string& disk);

}  // namespace kestrum
