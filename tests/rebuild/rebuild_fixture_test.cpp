// Fixture disks made with the real tools, damaged the way disks break, read
// back through a whole-area scan and the rebuild, and exported: what comes
// back must be what the builder wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "base/text.h"
#include "export/export_files.h"
#include "export/export_test_support.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "rebuild/rebuild_volumes.h"
#include "rebuild_test_support.h"
#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::ManifestEntry;
using test::WrittenItem;

// One volume the rebuild must give back, and the manifest it must match.
struct ExpectedVolume {
  Sector64 start;
  FoundBy foundBy;
  FsKind kind;
  std::string manifest;
  // Folders whose own entry or later clusters lie in directory clusters no
  // finding leads to (no FAT to follow, no "." to recognise them by): their
  // items are shown in the root, and those in the unreachable clusters, or
  // in entry sets cut by a cluster boundary, are lost: exactly the entries
  // `lost` names, worked out from the intact image's layout.
  std::vector<std::string> scatteredFolders = {};
  std::function<std::set<std::string>(const std::string& intactImage)> lost = nullptr;
  std::vector<std::string> added = {};  // files the case wrote into the root beside the manifest's
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
void ExpectTreeMatchesManifest(const VolumeDescriptor& volume, const ExpectedVolume& e,
                               const std::set<std::string>& expectedLost) {
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
  expected.insert(e.added.begin(), e.added.end());
  std::set<std::string> lost;
  for (const ManifestEntry& m : test::LoadManifest(e.manifest)) {
    if (m.deleted) continue;
    std::string path = m.path;
    for (const std::string& folder : e.scatteredFolders) {
      if (path.rfind(folder + "/", 0) == 0 && !written.count(path)) path = path.substr(path.rfind('/') + 1);
    }
    if (!written.count(path) && std::any_of(e.scatteredFolders.begin(), e.scatteredFolders.end(),
                                            [&](const std::string& f) { return m.path.rfind(f, 0) == 0; })) {
      lost.insert(m.path);
      continue;
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
  EXPECT_EQ(lost, expectedLost);
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
    ExpectTreeMatchesManifest(*found, e, e.lost ? e.lost(test::FixturePath(c.image)) : std::set<std::string>{});
  }
  EXPECT_EQ(rebuilt.size(), c.expected.size()) << test::Describe(rebuilt);
  EXPECT_EQ(test::Sha256OfFile(image), before) << "the search wrote to its source";
}

// Twelve folders filled by mtools in turn, ten files at a time, on FAT32
// with one-sector clusters: each folder grows by a cluster among the other
// folders' clusters and the files' data, and a long name is often cut by a
// cluster's end. With the boot sector, its backup and both FATs zeroed, the
// rebuild from the directory sectors must give every file back in its
// folder, byte for byte (before the folders' later clusters were linked to
// them, only the 48 in the folders' first clusters). The files' bytes are
// random but the same on every run: a file's last cluster, a few bytes and
// then zeros, once passed for a folder's next cluster on some runs only.
TEST(FoldersAmongTheirFiles, EveryFileComesBackInItsFolder) {
  test::TempDir dir;
  const std::string image = dir.File("v.img");
  const std::vector<std::string> dirs = {"photos", "docs",  "music", "notes", "mail", "backup",
                                         "videos", "scans", "games", "books", "maps", "work"};
  std::filesystem::create_directory(dir.File("src"));
  std::map<std::string, std::string> expected;
  std::mt19937 random(28);  // a seed on which such a cluster lies among the folders
  for (int batch = 0, k = 0; batch < 4; ++batch) {
    for (const std::string& d : dirs) {
      ++k;
      for (int n = batch * 10; n < std::min(batch * 10 + 10, 37); ++n) {
        std::string bytes((n * 7919 + k * 104729) % 3000 + 1, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        char name[64];
        std::snprintf(name, sizeof name, "%s_file_%04d.dat", d.c_str(), n);
        test::WriteWholeFile(dir.File(std::string("src/") + name), bytes);
        expected[d + "/" + name] = test::Sha256OfFile(dir.File(std::string("src/") + name));
      }
    }
  }
  const std::string script =
      "set -e; cd '" + dir.path() + "'; export MTOOLS_SKIP_CHECK=1; "
      "truncate -s 64M v.img; mkfs.vfat -F 32 -s 1 -n MIXED v.img >/dev/null; "
      "dirs='photos docs music notes mail backup videos scans games books maps work'; "
      "for d in $dirs; do mmd -i v.img ::$d; done; "
      "for batch in 0 1 2 3; do for d in $dirs; do set --; "
      "for i in 0 1 2 3 4 5 6 7 8 9; do n=$((batch * 10 + i)); [ $n -lt 37 ] || continue; "
      "set -- \"$@\" src/${d}_file_$(printf %04d $n).dat; done; mcopy -i v.img \"$@\" ::$d/; done; done";
  test::CommandResult made = test::RunCommand({"sh", "-c", script});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  ASSERT_EQ(expected.size(), 444u);
  const std::string stat = test::RunCommand({"fsstat", image}).out;
  const std::size_t at = stat.find("* Data Area: ");
  ASSERT_NE(at, std::string::npos);
  const Sector64 dataStart = std::stoull(stat.substr(at + 13));
  test::ZeroSectors(image, {{0, dataStart}});

  VolumeList rebuilt = test::ScanAndRebuild(image);
  auto found = std::find_if(rebuilt.begin(), rebuilt.end(),
                            [](const VolumeDescriptor& v) { return v.fsKind == kFsRebuiltFat; });
  ASSERT_NE(found, rebuilt.end()) << test::Describe(rebuilt);
  EXPECT_EQ(found->startSector, dataStart);
  VolumeSet set;
  set.AddVolume(*found);
  set.viewMode = kViewExistingFiles;
  set.SelectVolume(0, nullptr, kRootNodeId);
  test::TempDir out;
  test::PrepareRun();
  StatusMessage status;
  ExportNodes(set, FromUtf8(out.path()), {kRootNodeId}, status);
  std::map<std::string, std::string> written;
  for (const auto& [path, item] : test::WrittenTree(out.path())) {
    if (!item.folder && path.rfind("LostFile", 0) != 0 && !test::IsReportFile(path)) written[path] = item.sha256;
  }
  EXPECT_EQ(written, expected);
}

// Where the fixtures keep their structures (see the builder's .info files
// and the boot sectors it wrote).
constexpr Sector64 kNtfsBackupBoot = 196607;
constexpr Sector64 kNtfsMft = 32;  // cluster 4 of 8 sectors
constexpr Sector64 kNtfsMirror = 12287 * 8;
constexpr Sector64 kFat32DataStart = 32 + 2 * 1513;
constexpr std::uint32_t kFirstUserRecord = 24;

// More files with clusters of their own than the fixture has, so that the
// cluster size can be told from their allocated sizes alone.
const std::vector<std::string> kAddedFiles = [] {
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) names.push_back("added-" + std::to_string(10 + i) + ".bin");
  return names;
}();

void AddFilesWithNtfscp(const std::string& image) {
  test::TempDir dir;
  for (std::size_t i = 0; i < kAddedFiles.size(); ++i) {
    const std::string source = dir.File(kAddedFiles[i]);
    test::WriteWholeFile(source, std::string(8192 + 512 * i, static_cast<char>('a' + i)));
    test::CommandResult r = test::RunCommand({"ntfscp", "-f", image, source, "/" + kAddedFiles[i]});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
}

// FAT32 with one-sector clusters and nothing left but directory sectors:
// a folder's clusters after its first one hold entries but no "." entry,
// and are linked to it when they lie after its first cluster, so the
// entries lost are those The Sleuth Kit places in a cluster before their
// folder's first one (none on this image: the builder writes a folder's
// entries after making it; before the linking, the folders' own entries in
// the root's second cluster and all of many/ but its first cluster were lost).
std::set<std::string> LostWithoutTheFats(const std::string& intact) {
  const test::EntryLayout layout = test::TskEntryLayout(intact);
  std::map<std::string, std::uint64_t> firstSectors;
  std::set<std::string> lost;
  for (const auto& [path, place] : layout.entries) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) continue;
    const std::string folder = path.substr(0, slash);
    if (!firstSectors.count(folder)) firstSectors[folder] = layout.FirstSectorOf(intact, folder);
    if (place.sector < firstSectors[folder]) lost.insert(path);
  }
  return lost;
}

// exFAT rebuilt from its entry sets: a file of many/ whose set is cut by a
// cluster boundary of the folder (8 sectors of 16 entries) is lost.
std::set<std::string> LostWithoutTheBootRegion(const std::string& intact) {
  const test::EntryLayout layout = test::TskEntryLayout(intact);
  constexpr std::uint64_t kClusterSectors = 8, kEntriesPerCluster = 8 * 16, kNameUnitsPerEntry = 15;
  std::set<std::string> lost;
  for (const auto& [path, place] : layout.entries) {
    if (path.rfind("many/", 0) != 0) continue;
    const std::uint64_t name = path.size() - 5;  // ASCII names: bytes are units
    const std::uint64_t set = 2 + (name + kNameUnitsPerEntry - 1) / kNameUnitsPerEntry;
    const std::uint64_t index = (place.sector - layout.dataStart) % kClusterSectors * 16 + place.slot;
    if (index + set > kEntriesPerCluster) lost.insert(path);
  }
  return lost;
}

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
        // Volumes of 4096-, 2048-byte sectors and of 512-byte clusters: the
        // boot sector (one of the volume's sectors) gone, the backup found as
        // far in as that sector size puts it.
        DamageCase{.label = "Ntfs4kBootZeroed",
                   .image = "ntfs4k.img",
                   .zeroed = {{0, 8}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsNtfs, "ntfs4k.manifest.tsv"}}},
        DamageCase{.label = "Fat32Sectors4kBootZeroed",
                   .image = "fat4k.img",
                   .zeroed = {{0, 8}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsFat32, "fat4k.manifest.tsv"}}},
        DamageCase{.label = "Exfat4kBootZeroed",
                   .image = "exfat4k.img",
                   .zeroed = {{0, 8}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsExfat, "exfat4k.manifest.tsv"}}},
        DamageCase{.label = "Ntfs2kBootZeroed",
                   .image = "ntfs2k.img",
                   .zeroed = {{0, 4}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsNtfs, "ntfs2k.manifest.tsv"}}},
        DamageCase{.label = "NtfsClusters512BootZeroed",
                   .image = "ntfs512c.img",
                   .zeroed = {{0, 1}},
                   .expected = {{0, FoundBy::kBackupBootSector, kFsNtfs, "ntfs512c.manifest.tsv"}}},
        // "The partition turned RAW": both boot sectors gone, the MFT intact.
        DamageCase{.label = "NtfsBootAndBackupZeroed",
                   .image = "ntfs.img",
                   .zeroed = {{0, 1}, {kNtfsBackupBoot, 1}},
                   .expected = {{0, FoundBy::kMftRun, kFsNtfs, "ntfs.manifest.tsv"}}},
        // Then the first MFT records and the mirror go too: only the records
        // scattered on the disk and the INDX block of a folder remain.
        DamageCase{.label = "NtfsBootBackupMirrorAndFirstRecordsZeroed",
                   .image = "ntfs.img",
                   .zeroed = {{0, 1}, {kNtfsBackupBoot, 1}, {kNtfsMft, 2 * kFirstUserRecord}, {kNtfsMirror, 8}},
                   .expected = {{.start = 0, .foundBy = FoundBy::kMftRecords, .kind = kFsNtfs,
                                 .manifest = "ntfs.manifest.tsv", .added = kAddedFiles}},
                   .prepare = AddFilesWithNtfscp},
        // Cluster 2 of this volume holds the first 512 bytes of the root, and
        // many/ and the root grew cluster by cluster between the files' data.
        DamageCase{.label = "Fat32BootBackupAndFatsZeroed",
                   .image = "fat32.img",
                   .zeroed = {{0, kFat32DataStart}},
                   .expected = {{kFat32DataStart, FoundBy::kFatDirectories, kFsRebuiltFat, "fat32.manifest.tsv",
                                 {"sizes", "spacers", "many"}, LostWithoutTheFats}}},
        DamageCase{.label = "ExfatBootRegionAndBackupZeroed",
                   .image = "exfat.img",
                   .zeroed = {{0, 24}},
                   .expected = {{0, FoundBy::kExfatEntries, kFsRebuiltExfat, "exfat.manifest.tsv", {"many"}, LostWithoutTheBootRegion}}}),
    [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace kestrum
