#include "scan/block_findings.h"

#include "scan/file_signatures.h"
#include "scan/sector_classifier.h"

namespace kestrum {

std::size_t CollectBlockFindings(ByteView block, Sector64 firstSector, const DeviceHandle& device,
                                 std::vector<ScanFinding>& out) {
  const std::size_t before = out.size();
  const auto sectors = static_cast<std::uint32_t>(block.size() / kSectorSize);
  for (std::uint32_t i = 0; i < sectors; ++i) {
    ByteView sector = block.subspan(std::size_t{i} * kSectorSize, kSectorSize);
    const Sector64 number = firstSector + i;
    ScanCategory category;
    if (MatchFileSignature(sector, category)) {
      ScanFinding file;
      file.category = category;
      file.sector = static_cast<Sector64>(number);
      out.push_back(std::move(file));
    }
    if (ClassifySector(sector, number, category)) {
      out.push_back(MakeFinding(category, block, i, number, device));
    }
  }
  return out.size() - before;
}

}  // namespace kestrum
