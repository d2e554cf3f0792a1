#pragma once
// Which parts of a source a disk image holds, in GNU ddrescue's mapfile
// format, so ddrescuelog and other tools read it: comment lines, the status
// line (current position, phase, pass), then one line a block: byte
// position, size, and what became of it. Sizes here are whole 512-byte
// sectors; the text is parsed and made by pure functions, and saved by
// replacing the file whole and flushed.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "disk/sector.h"

namespace kestrum {

// Block states, as the mapfile writes them.
enum class RescueState : char {
  kNonTried = '?',    // not read yet
  kNonTrimmed = '*',  // a large read failed here; its edges are not tried alone yet
  kNonScraped = '/',  // edges tried; the sectors between are not tried alone yet
  kBadSector = '-',   // tried alone, and it failed
  kRescued = '+',     // read and in the image
};

// The phase the copy is in, the status line's second field.
enum class CopyPhase : char {
  kCopying = '?',
  kTrimming = '*',
  kScraping = '/',
  kRetrying = '-',
  kFinished = '+',
};

struct MapBlock {
  Sector64 first = 0;
  Sector64 count = 0;
  RescueState state = RescueState::kNonTried;
};

class RescueMap {
 public:
  RescueMap() = default;
  // All of [0, sectors) not tried.
  explicit RescueMap(Sector64 sectors);

  Sector64 Sectors() const { return sectors_; }
  // Marks [first, first + count) (clipped to the map); neighbours of the
  // same state merge.
  void Set(Sector64 first, Sector64 count, RescueState state);
  RescueState StateAt(Sector64 sector) const;
  // The blocks in order, neighbours always of different states.
  std::vector<MapBlock> Blocks() const;
  // The first block of `state` that ends after `from`, clipped to start at
  // `from` at the earliest; false when there is none.
  bool NextOf(RescueState state, Sector64 from, MapBlock& out) const;
  // The last block of `state` that starts before `end`, clipped to end there.
  bool PreviousOf(RescueState state, Sector64 end, MapBlock& out) const;
  Sector64 CountOf(RescueState state) const;
  // Blocks of bad sectors (areas of '-'), and of everything not rescued.
  std::uint64_t AreasOf(RescueState state) const;

  Sector64 position = 0;  // where the copy was, in sectors
  CopyPhase phase = CopyPhase::kCopying;
  std::uint32_t pass = 1;

 private:
  Sector64 sectors_ = 0;
  std::map<Sector64, MapBlock> blocks_;  // by first sector
};

// The mapfile's text: `header` lines (each without "# ") come first.
std::string FormatMapfile(const RescueMap& map, const std::vector<std::string>& header);
// Parses a mapfile of a source of `sectors` sectors. False with the reason
// when it is not one, when its blocks leave gaps or overlap, do not start at
// 0 and end at the source's end, or are not whole sectors.
bool ParseMapfile(const std::string& text, Sector64 sectors, RescueMap& out, std::string& error);

// Writes `text` to a new file beside `path`, flushes it and renames it over
// `path` (then flushes the folder), so the file is always whole.
bool ReplaceFileAtomically(const std::string& path, const std::string& text, int& error);

}  // namespace kestrum
