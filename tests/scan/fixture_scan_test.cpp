// The classifier over the fixture volumes made by the real tools: every boot
// sector, partition table, MFT record, INDX block, FAT subdirectory and
// exFAT directory sector is found, with its payload, and nothing else of
// theirs. Where things lie comes from The Sleuth Kit (fls, istat) and from
// the boot sectors; names, parents and sizes from fls and the manifests.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "base/text.h"
#include "disk/partition_table.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/fat/fat_layout.h"
#include "scan/scan_finding.h"
#include "scan_support.h"
#include "support/fixtures.h"
#include "support/fls.h"

namespace kestrum {
namespace {

using test::FlsEntry;
using Expected = std::map<Sector64, ScanCategory>;
using Found = std::map<Sector64, const ScanFinding*>;

struct VolumeCase {
  const char* label;
  const char* image;
  const char* info;
  const char* manifest;
};
void PrintTo(const VolumeCase& c, std::ostream* os) { *os << c.label; }

struct Volume {
  std::string image;
  Sector64 start = 0;
  Sector64 sectors = 0;
  std::vector<std::uint8_t> boot;
};

Volume Open(const VolumeCase& c) {
  VolumeDescriptor d = test::FixtureDescriptor(c.image, c.info);
  return {ToUtf8(d.diskPath), d.startSector, d.sectorCount, {d.bootSector.begin(), d.bootSector.end()}};
}

// fls's entries without the names whose record was reused ("(realloc)"):
// those point at records that now hold another file.
std::vector<FlsEntry> SleuthKitEntries(const Volume& v) {
  std::vector<FlsEntry> entries = test::Fls(v.image, v.start);
  std::erase_if(entries, [](const FlsEntry& e) { return e.realloc; });
  return entries;
}

Found IndexStructures(const std::vector<ScanFinding>& findings) {
  Found found;
  for (const ScanFinding* f : test::StructureFindings(findings)) {
    EXPECT_TRUE(found.emplace(f->sector, f).second) << "two structures at sector " << f->sector;
  }
  return found;
}

// The structures found in [lo, hi) are exactly the expected ones.
void ExpectExactly(const Found& found, const Expected& expected, Sector64 lo, Sector64 hi) {
  std::ostringstream missing, unexpected;
  int missingCount = 0, unexpectedCount = 0;
  for (const auto& [sector, category] : expected) {
    auto it = found.find(sector);
    if (it == found.end() || it->second->category != category) {
      if (++missingCount <= 10) {
        missing << " " << sector << ":" << category << "(found "
                << (it == found.end() ? -1 : static_cast<int>(it->second->category)) << ")";
      }
    }
  }
  for (const auto& [sector, finding] : found) {
    if (sector < lo || sector >= hi || expected.count(sector)) continue;
    if (++unexpectedCount <= 10) unexpected << " " << sector << ":" << finding->category;
  }
  EXPECT_EQ(missingCount, 0) << "missing or miscategorised:" << missing.str();
  EXPECT_EQ(unexpectedCount, 0) << "unexpected:" << unexpected.str();
}

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string DirName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// ---------------------------------------------------------------- NTFS

void ExpectNtfs(const Volume& v, const Found& found, Expected& expected,
                const std::vector<test::ManifestEntry>& manifest) {
  const std::uint32_t spc = v.boot[fatboot::kSectorsPerCluster];
  ASSERT_GE(spc, 2u);
  expected[v.start] = kCategoryNtfsBoot;
  expected[v.start + v.sectors - 1] = kCategoryNtfsBoot;  // the backup

  // Records of the MFT (record 0's $DATA) and of its mirror (record 1's).
  std::map<Sector64, std::uint32_t> recordAt;
  std::map<Sector64, std::uint32_t> ownNumberAt;
  for (std::uint64_t inode : {0u, 1u}) {
    std::vector<std::uint64_t> clusters = test::IstatNumbers(v.image, v.start, inode, "Type: $DATA");
    ASSERT_FALSE(clusters.empty()) << "istat found no $DATA for record " << inode;
    std::uint32_t number = 0;
    for (std::uint64_t cluster : clusters) {
      for (std::uint32_t j = 0; j < spc / 2; ++j, ++number) {
        Sector64 sector = v.start + cluster * spc + 2 * j;
        auto bytes = test::ReadFileSectors(v.image, sector);
        if (!HasTag(ByteView(bytes), 0, "FILE")) continue;
        recordAt[sector] = number;
        // Records with flags beyond in-use and directory ($Secure, $Extend's
        // children) keep no payload; mkntfs leaves 0 as the number of its
        // reserved records 16–23.
        ownNumberAt[sector] = bytes[0x16] <= 3 ? ReadLe32(ByteView(bytes), 0x2C) : 0;
      }
    }
  }
  ASSERT_GT(recordAt.size(), 1200u);
  for (const auto& [sector, number] : recordAt) {
    (void)number;
    expected[sector] = kCategoryFileRecord;
    auto it = found.find(sector);
    if (it != found.end()) {
      EXPECT_EQ(it->second->wordB, ownNumberAt[sector]) << "own number of the record at " << sector;
    }
  }

  // Names, parents and kinds from fls; sizes from the manifest.
  std::vector<FlsEntry> entries = SleuthKitEntries(v);
  std::map<std::string, std::uint64_t> inodeOfPath = {{"", 5}};
  for (const FlsEntry& e : entries) inodeOfPath.emplace(e.path, e.inode);
  std::map<std::string, std::uint64_t> sizeOfPath;
  for (const auto& m : manifest) {
    if (!m.folder) sizeOfPath[m.path] = m.size;
  }
  std::map<std::uint64_t, Sector64> sectorOfRecord;
  for (const auto& [sector, number] : recordAt) sectorOfRecord.emplace(number, sector);  // the MFT's copy first
  int checked = 0;
  for (const FlsEntry& e : entries) {
    if (e.path[0] == '$' || e.path.find(':') != std::string::npos) continue;
    auto at = sectorOfRecord.find(e.inode);
    if (at == sectorOfRecord.end()) continue;
    auto it = found.find(at->second);
    if (it == found.end()) continue;
    const ScanFinding& f = *it->second;
    SCOPED_TRACE(e.path);
    EXPECT_EQ(f.wordB, e.inode);
    EXPECT_EQ(ToUtf8(f.Name()), BaseName(e.path));
    EXPECT_EQ(f.wordA, inodeOfPath.at(DirName(e.path)));
    EXPECT_EQ((f.flags & finding_flags::kInUse) != 0, !e.deleted);
    EXPECT_EQ((f.flags & finding_flags::kDirectory) != 0, e.Directory());
    auto size = sizeOfPath.find(e.path);
    if (size != sizeOfPath.end() && !e.Directory()) {
      EXPECT_EQ(f.size, size->second);
      if (f.flags & finding_flags::kResidentData) {
        EXPECT_TRUE(f.Runs().empty()) << "the resident content stays in its record";
      } else if (size->second != 0) {
        EXPECT_GT(f.dataLength, 0u) << "the run list is kept";
        EXPECT_GE(f.allocatedSize, f.size);
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 1200);

  // INDX blocks of every directory's $INDEX_ALLOCATION, the root's included.
  std::vector<std::uint64_t> directories = {5};
  for (const FlsEntry& e : entries) {
    if (e.Directory() && e.path[0] != '$') directories.push_back(e.inode);
  }
  int blocks = 0;
  for (std::uint64_t dir : directories) {
    std::vector<std::uint64_t> clusters = test::IstatNumbers(v.image, v.start, dir, "Type: $INDEX_ALLOCATION");
    std::uint64_t position = 0;
    for (std::uint64_t cluster : clusters) {
      for (std::uint32_t s = 0; s < spc; ++s, ++position) {
        if (position % 8 != 0) continue;  // 4 KiB blocks
        Sector64 sector = v.start + cluster * spc + s;
        auto bytes = test::ReadFileSectors(v.image, sector);
        if (!HasTag(ByteView(bytes), 0, "INDX")) continue;
        expected[sector] = kCategoryIndexRecord;
        ++blocks;
        auto it = found.find(sector);
        if (it != found.end()) {
          EXPECT_EQ(it->second->wordA, dir) << "owner of the INDX block at " << sector;
        }
      }
    }
  }
  EXPECT_GT(blocks, 20) << "many/ alone needs dozens of blocks";
}

class NtfsScan : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(NtfsScan, BootSectorsRecordsAndIndexBlocksAndNothingElse) {
  Volume v = Open(GetParam());
  auto findings = test::ScanFile(v.image, v.start, v.sectors);
  Found found = IndexStructures(findings);
  Expected expected;
  ExpectNtfs(v, found, expected, test::LoadManifest(GetParam().manifest));
  ExpectExactly(found, expected, v.start, v.start + v.sectors);
  auto boot = found.find(v.start);
  ASSERT_NE(boot, found.end());
  EXPECT_TRUE(std::ranges::equal(boot->second->SectorCopy(), v.boot)) << "the finding keeps a copy of the boot sector";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NtfsScan,
                         ::testing::Values(VolumeCase{"NtfsImage", "ntfs.img", "ntfs.info", "ntfs.manifest.tsv"},
                                           VolumeCase{"DiskPartition1", "disk.img", "disk.p1.info",
                                                      "disk.p1.manifest.tsv"}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------- FAT

void ExpectFat(const Volume& v, const Found& found, Expected& expected) {
  const bool fat32 = ReadLe16(ByteView(v.boot), fatboot::kRootEntryCount) == 0;
  expected[v.start] = fat32 ? kCategoryFat32Boot : kCategoryFat16Boot;
  if (fat32) expected[v.start + 6] = kCategoryFat32Boot;
  const FatGeometry g = FatGeometryOf(ByteView(v.boot), v.start, fat32);
  ASSERT_TRUE(g.HasDataArea());

  // Every subdirectory, deleted ones included, opens with "." and "..";
  // the finding names its own first cluster and its parent's (0: the root).
  std::map<std::string, std::uint32_t> clusterOfPath = {{"", 0}};
  std::vector<std::pair<FlsEntry, Sector64>> directories;
  for (const FlsEntry& e : SleuthKitEntries(v)) {
    if (!e.Directory()) continue;
    std::vector<std::uint64_t> sectors = test::IstatNumbers(v.image, v.start, e.inode, "Sectors:");
    if (sectors.empty()) continue;
    Sector64 first = v.start + sectors[0];
    clusterOfPath[e.path] = static_cast<std::uint32_t>((first - g.firstDataSector) / g.sectorsPerCluster + 2);
    directories.push_back({e, first});
  }
  ASSERT_GE(directories.size(), 15u);
  for (const auto& [e, sector] : directories) {
    SCOPED_TRACE(e.path);
    expected[sector] = kCategoryFatDir;
    auto it = found.find(sector);
    if (it == found.end()) continue;
    EXPECT_EQ(it->second->wordA, clusterOfPath.at(e.path));
    EXPECT_EQ(it->second->wordB, clusterOfPath.at(DirName(e.path)));
  }
}

class FatScan : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(FatScan, BootSectorsAndEverySubdirectoryAndNothingElse) {
  Volume v = Open(GetParam());
  auto findings = test::ScanFile(v.image, v.start, v.sectors);
  Found found = IndexStructures(findings);
  Expected expected;
  ExpectFat(v, found, expected);
  ExpectExactly(found, expected, v.start, v.start + v.sectors);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, FatScan,
    ::testing::Values(VolumeCase{"Fat16Image", "fat16.img", "fat16.info", "fat16.manifest.tsv"},
                      VolumeCase{"Fat32Image", "fat32.img", "fat32.info", "fat32.manifest.tsv"},
                      VolumeCase{"DiskPartition2", "disk.img", "disk.p2.info", "disk.p2.manifest.tsv"},
                      VolumeCase{"DiskPartition5", "disk.img", "disk.p5.info", "disk.p5.manifest.tsv"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------- exFAT

void ExpectExfat(const Volume& v, const Found& found, Expected& expected) {
  expected[v.start] = kCategoryExfatBoot;
  expected[v.start + 12] = kCategoryExfatBoot;  // the backup boot region
  const ExfatGeometry g = ExfatGeometryOf(ByteView(v.boot), v.start);
  ASSERT_TRUE(g.valid);
  const Sector64 root = g.ClusterSector(g.rootCluster);
  expected[root] = kCategoryExfatRootDir;

  std::vector<Sector64> sectors;
  for (std::uint32_t s = 1; s < g.SectorsPerCluster(); ++s) sectors.push_back(root + s);
  int directories = 0;
  for (const FlsEntry& e : SleuthKitEntries(v)) {
    if (!e.Directory()) continue;
    ++directories;
    for (std::uint64_t s : test::IstatNumbers(v.image, v.start, e.inode, "Sectors:")) sectors.push_back(v.start + s);
  }
  ASSERT_GE(directories, 15);
  // Each directory sector that holds entries at all is a sector of entry sets.
  int withEntries = 0;
  for (Sector64 sector : sectors) {
    auto bytes = test::ReadFileSectors(v.image, sector);
    if (bytes[0] == exfatentry::kEndOfDirectory) continue;
    expected[sector] = kCategoryExfatDir;
    ++withEntries;
  }
  EXPECT_GT(withEntries, 200) << "many/ alone fills 225 sectors";
  for (const auto& [sector, category] : expected) {
    auto it = found.find(sector);
    if (it != found.end() && (category == kCategoryExfatDir || category == kCategoryExfatRootDir)) {
      EXPECT_EQ(it->second->wordA, 0u);
      EXPECT_EQ(it->second->wordB, 0u);
    }
  }
}

class ExfatScan : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(ExfatScan, BootRegionsRootAndEveryDirectorySectorAndNothingElse) {
  Volume v = Open(GetParam());
  auto findings = test::ScanFile(v.image, v.start, v.sectors);
  Found found = IndexStructures(findings);
  Expected expected;
  ExpectExfat(v, found, expected);
  ExpectExactly(found, expected, v.start, v.start + v.sectors);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ExfatScan,
    ::testing::Values(VolumeCase{"ExfatImage", "exfat.img", "exfat.info", "exfat.manifest.tsv"},
                      VolumeCase{"DiskPartition6", "disk.img", "disk.p6.info", "disk.p6.manifest.tsv"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------- the disk

TEST(DiskScan, TheWholeDiskGivesItsTablesAndEveryVolumeAndNothingElse) {
  const std::string image = test::FixturePath("disk.img");
  auto mbr = test::ReadFileSectors(image, 0);
  Expected expected = {{0, kCategoryMbr}};
  // The EBR chain: each EBR's second entry leads to the next, from the container's start.
  for (const TableEntry& e : ParseTableEntries(mbr)) {
    if (!IsExtendedType(e.type)) continue;
    Sector64 ebr = e.startLba;
    for (int i = 0; i < 16 && ebr != 0; ++i) {
      expected[ebr] = kCategoryEbr;
      auto next = ParseTableEntries(test::ReadFileSectors(image, ebr))[1];
      ebr = IsExtendedType(next.type) && next.startLba != 0 ? e.startLba + next.startLba : 0;
    }
  }
  EXPECT_EQ(expected.size(), 3u) << "an MBR and two EBRs";

  std::uint64_t diskSectors = std::filesystem::file_size(image) / kSectorSize;
  auto findings = test::ScanFile(image, 0, diskSectors);
  Found found = IndexStructures(findings);
  for (const VolumeCase& c : {VolumeCase{"p1", "disk.img", "disk.p1.info", "disk.p1.manifest.tsv"},
                              VolumeCase{"p2", "disk.img", "disk.p2.info", "disk.p2.manifest.tsv"},
                              VolumeCase{"p5", "disk.img", "disk.p5.info", "disk.p5.manifest.tsv"},
                              VolumeCase{"p6", "disk.img", "disk.p6.info", "disk.p6.manifest.tsv"}}) {
    SCOPED_TRACE(c.label);
    Volume v = Open(c);
    auto fs = test::LoadInfo(c.info).at("fs");
    if (fs == "ntfs") ExpectNtfs(v, found, expected, test::LoadManifest(c.manifest));
    if (fs == "fat16" || fs == "fat32") ExpectFat(v, found, expected);
    if (fs == "exfat") ExpectExfat(v, found, expected);
  }
  ExpectExactly(found, expected, 0, diskSectors);
}

}  // namespace
}  // namespace kestrum
