#include "rebuild_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/text.h"
#include "disk/device.h"
#include "rebuild/rebuild_volumes.h"
#include "scan/scan_support.h"
#include "fs/tree/node_vector.h"
#include "support/run_state.h"

namespace kestrum::test {

void ZeroSectors(const std::string& image, const std::vector<SectorRange>& ranges) {
  std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
  ASSERT_TRUE(file) << image;
  const std::string zeros(kSectorSize, '\0');
  for (const SectorRange& r : ranges) {
    file.seekp(static_cast<std::streamoff>(r.first * kSectorSize));
    for (std::uint64_t i = 0; i < r.count; ++i) file.write(zeros.data(), kSectorSize);
  }
  ASSERT_TRUE(file.good()) << image;
}

VolumeList ScanAndRebuild(const std::string& image) {
  VolumeList rebuilt;
  const std::uint64_t sectors = QueryPathBytes(FromUtf8(image)) / kSectorSize;
  std::vector<ScanFinding> findings = ScanFile(image, 0, sectors);
  VolumeDescriptor scanned;
  scanned.fsKind = kFsScanArea;
  scanned.diskPath = FromUtf8(image);
  scanned.sectorCount = static_cast<Sector32>(sectors);
  scanned.diskSectors = static_cast<Sector32>(sectors);
  DeviceHandle device;
  EXPECT_TRUE(OpenDevice(scanned.diskPath, device));
  PrepareRun();
  RebuildFoundVolumes(findings, device, scanned.diskPath, scanned, rebuilt);
  CloseDevice(device);
  return rebuilt;
}

std::string Describe(const VolumeList& volumes) {
  std::ostringstream out;
  for (const VolumeDescriptor& v : volumes) {
    out << "[start " << v.startSector << " count " << v.sectorCount << " kind " << v.fsKind << " by "
        << FoundByName(v.foundBy) << " nodes " << (v.readerState.nodes ? v.readerState.nodes->Count() : 0)
        << "] ";
  }
  return out.str();
}

}  // namespace kestrum::test
