#include "rebuild_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "disk/device.h"
#include "rebuild/rebuild_volumes.h"
#include "scan/scan_support.h"
#include "fs/tree/node_vector.h"
#include "support/fls.h"
#include "support/run_command.h"
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
  scanned.sectorCount = static_cast<Sector64>(sectors);
  scanned.diskSectors = static_cast<Sector64>(sectors);
  DeviceHandle device;
  EXPECT_TRUE(OpenDevice(scanned.diskPath, device));
  PrepareRun();
  RebuildFoundVolumes(findings, device, scanned.diskPath, scanned, true, rebuilt);
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

EntryLayout TskEntryLayout(const std::string& image) {
  EntryLayout layout;
  // "* Data Area: 3058 - 196607" (FAT), "** Cluster Heap: 4096 - 196607" (exFAT)
  std::istringstream stat(RunCommand({"fsstat", image}).out);
  for (std::string line; std::getline(stat, line);) {
    for (const char* label : {"Data Area: ", "Cluster Heap: "}) {
      auto at = line.find(label);
      if (at != std::string::npos) layout.dataStart = std::stoull(line.substr(at + std::strlen(label)));
    }
  }
  EXPECT_NE(layout.dataStart, 0u) << "fsstat " << image;
  constexpr std::uint64_t kFirstEntryInode = 3;  // inode 2 is the root itself
  constexpr std::uint64_t kSlotsPerSector = 512 / 32;
  for (const FlsEntry& e : Fls(image, 0)) {
    if (e.deleted || e.Virtual() || e.inode < kFirstEntryInode) continue;
    const std::uint64_t slot = e.inode - kFirstEntryInode;
    layout.entries[e.path] = {e.inode, layout.dataStart + slot / kSlotsPerSector,
                              static_cast<unsigned>(slot % kSlotsPerSector)};
  }
  return layout;
}

std::uint64_t EntryLayout::FirstSectorOf(const std::string& image, const std::string& folder) const {
  auto it = entries.find(folder);
  if (it == entries.end()) {
    ADD_FAILURE() << "no entry " << folder;
    return 0;
  }
  // "Sectors:" and then the folder's sectors in chain order.
  std::istringstream stat(RunCommand({"istat", image, std::to_string(it->second.inode)}).out);
  for (std::string line; std::getline(stat, line);) {
    if (line.rfind("Sectors:", 0) == 0) {
      std::uint64_t first = 0;
      if (stat >> first) return first;
    }
  }
  ADD_FAILURE() << "istat gave no sectors for " << folder;
  return 0;
}

}  // namespace kestrum::test
