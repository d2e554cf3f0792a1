// An OLE2 compound file (doc, xls, ppt, msg) is a header sector and numbered
// sectors after it; its FAT says which sectors are in use, and the file ends
// with the last of them. The FAT's own sectors are found through the header
// and the DIFAT chain and must be marked as FAT sectors in the FAT itself.

#include <vector>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace ole2_layout;

class CompoundFile {
 public:
  CompoundFile(ByteSource& source, std::uint32_t sectorSize) : source_(source), sectorSize_(sectorSize) {}

  // Sector n lies after the header, which fills sector -1.
  ByteView Sector(std::uint32_t n) {
    const std::uint64_t at = (std::uint64_t{n} + 1) * sectorSize_;
    ByteView v = source_.Peek(at, sectorSize_);
    return v.size() == sectorSize_ ? v : ByteView{};
  }

  // The FAT sector numbers: the header's 109, then the DIFAT chain's.
  bool FatSectors(ByteView header, std::vector<std::uint32_t>& fat, std::vector<std::uint32_t>& difat) {
    const std::uint32_t count = ReadLe32(header, kFatSectorCount);
    // Every FAT sector but the last describes sectors that all lie in the file.
    if (count == 0 || std::uint64_t{count - 1} * (sectorSize_ / 4) * sectorSize_ > source_.Limit()) return false;
    for (std::uint32_t i = 0; i < kHeaderDifatEntries && fat.size() < count; ++i) {
      fat.push_back(ReadLe32(header, kHeaderDifat + 4 * i));
    }
    const std::uint32_t perSector = sectorSize_ / 4 - 1;  // the last entry links on
    std::uint32_t next = ReadLe32(header, kFirstDifatSector);
    for (std::uint32_t left = ReadLe32(header, kDifatSectorCount); fat.size() < count; --left) {
      if (left == 0 || next > kMaxRegularSector) return false;
      ByteView sector = Sector(next);
      if (sector.empty()) return false;
      difat.push_back(next);
      for (std::uint32_t i = 0; i < perSector && fat.size() < count; ++i) fat.push_back(ReadLe32(sector, 4 * i));
      next = ReadLe32(sector, 4 * perSector);
    }
    return true;
  }

 private:
  ByteSource& source_;
  std::uint32_t sectorSize_;
};

}  // namespace

FileEnd FindOle2End(ByteSource& source) {
  ByteView head = source.Peek(0, 512);
  if (head.size() < 512 || ReadLe16(head, kByteOrder) != 0xFFFE || ReadLe16(head, kMiniSectorShift) != 6) {
    return std::nullopt;
  }
  const std::uint16_t major = ReadLe16(head, kMajorVersion);
  const std::uint16_t shift = ReadLe16(head, kSectorShift);
  if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return std::nullopt;
  const std::uint32_t sectorSize = 1u << shift;
  std::vector<std::uint8_t> header(head.begin(), head.end());  // the view lasts one call only

  CompoundFile file(source, sectorSize);
  std::vector<std::uint32_t> fatSectors;
  std::vector<std::uint32_t> difatSectors;
  if (!file.FatSectors(header, fatSectors, difatSectors)) return std::nullopt;
  std::vector<std::uint32_t> fat;
  for (std::uint32_t n : fatSectors) {
    ByteView sector = n <= kMaxRegularSector ? file.Sector(n) : ByteView{};
    if (sector.empty()) return std::nullopt;
    for (std::uint32_t i = 0; i < sectorSize / 4; ++i) fat.push_back(ReadLe32(sector, 4 * i));
  }
  auto marked = [&](std::uint32_t n, std::uint32_t mark) { return n < fat.size() && fat[n] == mark; };
  for (std::uint32_t n : fatSectors) {
    if (!marked(n, kFatSector)) return std::nullopt;
  }
  for (std::uint32_t n : difatSectors) {
    if (!marked(n, kDifatSector)) return std::nullopt;
  }
  const std::uint32_t directory = ReadLe32(header, kFirstDirectorySector);
  if (directory >= fat.size() || fat[directory] == kFreeSector) return std::nullopt;

  std::size_t used = fat.size();
  while (used > 0 && fat[used - 1] == kFreeSector) --used;
  const std::uint64_t end = (std::uint64_t{used} + 1) * sectorSize;
  if (!source.Fits(0, end)) return std::nullopt;
  return end;
}

}  // namespace kestrum
