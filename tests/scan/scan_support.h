#pragma once
// What the scan tests share: classifying an image the way the deep scan
// reads it, and The Sleuth Kit's view of where a volume keeps its structures.

#include <cstdint>
#include <string>
#include <vector>

#include "scan/scan_finding.h"

namespace kestrum::test {

// Every finding of sectors [first, first + count) of the file, read in
// blocks on the 8192-sector grid, extents assigned up to the area's end.
std::vector<ScanFinding> ScanFile(const std::string& path, std::uint64_t first, std::uint64_t count);

// The structure findings (categories 100 and up) among `findings`.
std::vector<const ScanFinding*> StructureFindings(const std::vector<ScanFinding>& findings);

// The bytes of `count` sectors of a file.
std::vector<std::uint8_t> ReadFileSectors(const std::string& path, std::uint64_t sector, std::uint32_t count = 1);

// The numbers istat lists after the first line that starts with `heading`
// ("Sectors:", "Type: $DATA", "Type: $INDEX_ALLOCATION"), relative to the volume.
std::vector<std::uint64_t> IstatNumbers(const std::string& image, std::uint64_t offset, std::uint64_t inode,
                                        const std::string& heading);

}  // namespace kestrum::test
