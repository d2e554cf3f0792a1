#include "scan/file_extents.h"

#include <algorithm>

#include "scan/file_ends/file_end.h"

namespace kestrum {

Sector64 FileStartSector(const ScanFinding& finding) {
  const std::uint32_t lead = FileFormatOf(finding.category).leadSectors;
  return finding.sector >= lead ? finding.sector - lead : 0;
}

void AssignFileExtent(ScanFinding& finding, Sector64 end) {
  // 64-bit throughout: the end of a 2^32-sector area does not fit 32 bits.
  const Sector64 start = FileStartSector(finding);
  const std::uint64_t sectors = end > start ? std::min(end - start, kMaxFileExtentSectors) : 0;
  const std::uint64_t bytes = sectors * kSectorSize;
  finding.wordA = static_cast<std::uint32_t>(bytes);
  finding.wordB = static_cast<std::uint32_t>(bytes >> 32);
}

void AssignFileExtents(std::vector<ScanFinding>& findings, Sector64 areaEnd) {
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (!IsFileCategory(findings[i].category)) continue;
    AssignFileExtent(findings[i], i + 1 < findings.size() ? Sector64{findings[i + 1].sector} : areaEnd);
  }
}

}  // namespace kestrum
