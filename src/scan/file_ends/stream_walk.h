#pragma once
// Shared steps of the end finders that walk a run of records with no
// overall length: where the run stops tells the end only when it stops on
// bytes that are not the format's, not on the limit.

#include "scan/file_ends/file_end.h"

namespace kestrum {

// The end of a run of records that stopped at `at` after `records` of them:
// nothing when it stopped at the limit (it may go on past it) or found too
// few records to be the format's.
inline FileEnd RunEnd(ByteSource& source, std::uint64_t at, std::uint64_t records, std::uint64_t least = 1) {
  if (records < least || at >= source.Limit()) return std::nullopt;
  return at;
}

}  // namespace kestrum
