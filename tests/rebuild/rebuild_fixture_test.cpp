// Fixture disks made with the real tools, damaged the way disks break, read
// back through a whole-area scan and the rebuild, and exported: what comes
// back must be what the builder wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "base/text.h"
#include "export/export_files.h"
#include "export/export_test_support.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "rebuild/rebuild_volumes.h"
#include "rebuild_test_support.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::ManifestEntry;
using test::WrittenItem;

// One volume the rebuild must give back, and the manifest it must match.
struct ExpectedVolume {
  Sector32 start;
  FoundBy foundBy;
  FsKind kind;
  std::string manifest;
  // The root's own files live in a directory no finding leads back to.
  bool withoutRootFiles = false;
};

struct DamageCase {
  std::string label;
  std::string image;
  std::vector<test::SectorRange> zeroed = {};
  std::vector<ExpectedVolume> expected = {};
  std::function<void(const std::string& image)> prepare = nullptr;  // before the damage
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.label; }

// Exports the volume's whole tree and compares it with the manifest's live
// entries: the same paths, folders where folders were, sizes, and contents
// byte for byte — but for fragmented files on volumes without a FAT, whose
// clusters can only be taken as contiguous.
void ExpectTreeMatchesManifest(const VolumeDescriptor& volume, const ExpectedVolume& e) {
  VolumeSet set;
  set.AddVolume(volume);
  set.viewMode = kViewExistingFiles;
  set.SelectVolume(0, nullptr, kRootNodeId);
  test::TempDir dir;
  test::PrepareRun();
  StatusMessage status;
  ExportNodes(set, FromUtf8(dir.path()), {kRootNodeId}, status);
  std::map<std::string, WrittenItem> written = test::WrittenTree(dir.path());
  const bool contiguousOnly = volume.fsKind == kFsRebuiltFat || volume.fsKind == kFsRebuiltExfat;
  std::set<std::string> expected = {"LostFile"};
  for (const ManifestEntry& m : test::LoadManifest(e.manifest)) {
    if (m.deleted) continue;
    std::string path = m.path;
    if (e.withoutRootFiles) {
      if (path.find('/') == std::string::npos && !m.folder) continue;
      // The top folders' names are lost with the root: their items stand in the root.
      auto slash = path.find('/');
      if (slash == std::string::npos) continue;
      path = path.substr(slash + 1);
    }
    expected.insert(path);
    auto it = written.find(path);
    if (it == written.end()) {
      ADD_FAILURE() << "not given back: " << path;
      continue;
    }
    EXPECT_EQ(it->second.folder, m.folder) << path;
    if (m.folder) continue;
    EXPECT_EQ(it->second.size, m.size) << path;
    if (contiguousOnly && m.notes.find("fragments=") != std::string::npos) continue;
    EXPECT_EQ(it->second.sha256, m.sha256) << path;
  }
  std::vector<std::string> extra;
  for (const auto& [path, item] : written) {
    if (!expected.count(path)) extra.push_back(path);
  }
  EXPECT_TRUE(extra.empty()) << extra.size() << " unexpected, first: " << (extra.empty() ? "" : extra[0]);
}

class DamagedFixture : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedFixture, WholeAreaSearchGivesBackEveryVolumeWithItsTree) {
  const DamageCase& c = GetParam();
  test::TempDir dir;
  const std::string image = dir.File("damaged.img");
  std::filesystem::copy_file(test::FixturePath(c.image), image);
  if (c.prepare) c.prepare(image);
  test::ZeroSectors(image, c.zeroed);
  const std::string before = test::Sha256OfFile(image);

  VolumeList rebuilt = test::ScanAndRebuild(image);

  for (const ExpectedVolume& e : c.expected) {
    SCOPED_TRACE(e.manifest);
    auto found = std::find_if(rebuilt.begin(), rebuilt.end(),
                              [&](const VolumeDescriptor& v) { return v.startSector == e.start; });
    ASSERT_NE(found, rebuilt.end()) << "no volume at " << e.start << "; " << test::Describe(rebuilt);
    EXPECT_EQ(found->foundBy, e.foundBy) << FoundByName(found->foundBy);
    EXPECT_EQ(found->fsKind, e.kind);
    EXPECT_EQ(ToUtf8(found->diskPath), image);
    ExpectTreeMatchesManifest(*found, e);
  }
  EXPECT_EQ(rebuilt.size(), c.expected.size()) << test::Describe(rebuilt);
  EXPECT_EQ(test::Sha256OfFile(image), before) << "the search wrote to its source";
}

// Where the fixtures keep their structures (see the builder's .info files
// and the boot sectors it wrote).
constexpr Sector32 kNtfsBackupBoot = 196607;
constexpr Sector32 kNtfsMft = 32;  // cluster 4 of 8 sectors
constexpr Sector32 kNtfsMirror = 12287 * 8;
constexpr Sector32 kFat32DataStart = 32 + 2 * 1513;

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DamagedFixture,
    ::testing::Values(
        // The whole table sector gone: the primaries come back by their boot
        // sectors, the logicals by the EBRs of the extended partition.
        DamageCase{.label = "MbrZeroed",
                   .image = "disk.img",
                   .zeroed = {{0, 1}},
                   .expected = {{2048, FoundBy::kBootSector, kFsNtfs, "disk.p1.manifest.tsv"},
                                {100352, FoundBy::kBootSector, kFsFat32, "disk.p2.manifest.tsv"},
                                {200704, FoundBy::kPartitionTable, kFsFat16, "disk.p5.manifest.tsv"},
                                {284672, FoundBy::kPartitionTable, kFsExfat, "disk.p6.manifest.tsv"}}},
        // A boot sector found at both ends of its volume is one volume.
        DamageCase{.label = "NtfsIntact",
                   .image = "ntfs.img",
                   .expected = {{0, FoundBy::kBootSector, kFsNtfs, "ntfs.manifest.tsv"}}},
        DamageCase{.label = "NtfsBootZeroed",
                   .image = "ntfs.img",
                   .zeroed = {{0, 1}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsNtfs, "ntfs.manifest.tsv"}}},
        DamageCase{.label = "Fat32BootZeroed",
                   .image = "fat32.img",
                   .zeroed = {{0, 1}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsFat32, "fat32.manifest.tsv"}}},
        // "The partition turned RAW": both boot sectors gone, the MFT intact.
        DamageCase{.label = "NtfsBootAndBackupZeroed",
                   .image = "ntfs.img",
                   .zeroed = {{0, 1}, {kNtfsBackupBoot, 1}},
                   .expected = {{0, FoundBy::kMftRun, kFsNtfs, "ntfs.manifest.tsv"}}},
        DamageCase{.label = "Fat32BootBackupAndFatsZeroed",
                   .image = "fat32.img",
                   .zeroed = {{0, kFat32DataStart}},
                   .expected = {{kFat32DataStart, FoundBy::kFatDirectories, kFsRebuiltFat, "fat32.manifest.tsv"}}},
        DamageCase{.label = "ExfatBootRegionAndBackupZeroed",
                   .image = "exfat.img",
                   .zeroed = {{0, 24}},
                   .expected = {{0, FoundBy::kExfatEntries, kFsRebuiltExfat, "exfat.manifest.tsv"}}}),
    [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace kestrum
