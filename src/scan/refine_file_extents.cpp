#include "scan/refine_file_extents.h"

#include <algorithm>

#include "run/worker_state.h"
#include "scan/file_ends/file_end.h"

namespace kestrum {
namespace {

void SetLength(ScanFinding& finding, std::uint64_t bytes) {
  finding.wordA = static_cast<std::uint32_t>(bytes);
  finding.wordB = static_cast<std::uint32_t>(bytes >> 32);
}

}  // namespace

void RefineFileExtents(std::vector<ScanFinding>& findings, const SectorReadFn& read, Sector64 areaEnd) {
  for (ScanFinding& finding : findings) {
    if (!IsFileCategory(finding.category)) continue;
    const FileEndFinder finder = EndFinderFor(finding.category);
    if (finder == nullptr) continue;
    if (AbortRequested()) return;
    const Sector64 start = finding.sector;
    const std::uint64_t room = areaEnd > start ? (areaEnd - start) * kSectorSize : 0;
    const std::uint64_t limit = std::min(finding.FileLength(), room);
    FileEnd end;
    if (limit > 0) {
      ByteSource source(read, start, limit);
      end = finder(source);
    }
    if (end && *end > 0 && *end <= limit) {
      SetLength(finding, *end);
      finding.recovery = kRecoveryGood;
    } else {
      finding.recovery = kRecoveryUnverified;
    }
  }
}

void RefineFileExtents(std::vector<ScanFinding>& findings, const DeviceHandle& device, Sector64 areaEnd) {
  SectorReadFn read = [&device](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
    return ReadSectors(device, out, sector, count);
  };
  RefineFileExtents(findings, read, areaEnd);
}

}  // namespace kestrum
