#pragma once
// The Sleuth Kit's `fls -r -p` listing, the second opinion the reader tests
// compare against: "r/r * 64-128-2(realloc):\tdir/name".

#include <cstdint>
#include <string>
#include <vector>

namespace kestrum::test {

struct FlsEntry {
  char nameType = '-';  // from the directory entry: r, d, v, V, -
  char metaType = '-';  // from the metadata (inode, MFT record)
  bool deleted = false;
  bool realloc = false;
  std::uint64_t inode = 0;
  std::string path;

  bool Directory() const { return metaType == 'd'; }
  // The file system's virtual files and folders ($OrphanFiles, $FAT1, …).
  bool Virtual() const { return nameType == 'v' || nameType == 'V' || metaType == 'v' || metaType == 'V'; }
  // Metadata files and streams: a name starting with '$' anywhere in the path.
  bool Metadata() const { return !path.empty() && (path[0] == '$' || path.find("/$") != std::string::npos); }
};

// Every entry fls lists for the volume at sector `offset` of `image`; fails
// the current test when fls does.
std::vector<FlsEntry> Fls(const std::string& image, std::uint64_t offset);

}  // namespace kestrum::test
