// ls and export of a volume whose disk fails under them (the test build's
// KESTRUM_TEST_FAULTS): a directory that will not read costs its own
// entries, not the listing, and says so; a file with a bad sector, or a
// bad run, is exported with zeros exactly there and named with its count.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_tables.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_table.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/part_data_thread.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"

namespace kestrum {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Volume {
  const char* image;
  const char* info;
  // What the bad sector of the listing takes: the MFT record of this file
  // (NTFS), or the first cluster of this folder with what it holds.
  const char* lostPath;
  const char* lossLine;
};

// The sector that holds `path`'s record (NTFS) or its first cluster.
Sector64 StructureSector(const VolumeDescriptor& volume, const FileNode& node) {
  if (volume.fsKind == kFsNtfs) {
    DeviceHandle device = OpenVolumeOnDisk(volume);
    std::vector<RunEntry> runs;
    Sector64 at = 0;
    EXPECT_TRUE(FindMftRuns(volume, device, runs) && MapRecordToSector(node.id, volume, runs, at));
    CloseDevice(device);
    return at;
  }
  if (volume.fsKind == kFsExfat) return ExfatGeometryOf(volume).ClusterSector(node.location);
  return FatGeometryOf(volume).ClusterSector(node.location);
}

// Where a file's content starts in the image: its first bytes, found there.
Sector64 ContentSector(const std::string& image, const std::string& exported) {
  const std::string bytes = test::ReadWholeFile(image);
  const std::size_t at = bytes.find(exported.substr(0, 4096));
  EXPECT_NE(at, std::string::npos);
  EXPECT_EQ(at % 512, 0u);
  return at / 512;
}

std::set<std::string> ListedPaths(const std::string& json) {
  std::set<std::string> paths;
  for (const std::string& line : test::Lines(json)) {
    const std::size_t start = line.find("\"path\":\"") + 8;
    paths.insert(line.substr(start, line.find('"', start) - start));
  }
  return paths;
}

// The paths of one `ls --json` that another lacks.
std::set<std::string> Missing(const std::string& clean, const std::string& listed) {
  const std::set<std::string> got = ListedPaths(listed);
  std::set<std::string> missing;
  for (const std::string& path : ListedPaths(clean)) {
    if (!got.count(path)) missing.insert(path);
  }
  return missing;
}

class FailingDiskCli : public ::testing::TestWithParam<Volume> {};

TEST_P(FailingDiskCli, ListingAndExportGoOnPastBadSectorsAndSaySo) {
  const Volume& p = GetParam();
  const std::string image = test::FixturePath(p.image);
  VolumeDescriptor volume = test::FixtureDescriptor(p.image, p.info);
  ASSERT_TRUE(ReadVolumeFileSystem(volume));
  auto paths = test::TreePaths(volume, kViewExistingFiles);
  ASSERT_TRUE(paths.count(p.lostPath));
  const Sector64 structure = StructureSector(volume, NodesOf(volume).nodes[paths[p.lostPath]]);

  // The clean listing and the victim's clean bytes.
  auto clean = test::RunCli({"ls", "--json", image});
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  test::TempDir cleanOut;
  ASSERT_EQ(test::RunCli({"export", image, cleanOut.path(), "sizes/65536.bin"}).exitCode, 0);
  const std::string victim = test::ReadWholeFile(cleanOut.File("65536.bin"));
  ASSERT_EQ(victim.size(), 65536u);
  const Sector64 bad = ContentSector(image, victim) + 2;
  // A run of bad sectors long enough that the reads pass over part of it:
  // the good sectors after it still come back (read back from the first
  // good one), whatever the volume's cluster size.
  ASSERT_EQ(test::RunCli({"export", image, cleanOut.path(), "sizes/1048577.bin"}).exitCode, 0);
  const std::string big = test::ReadWholeFile(cleanOut.File("1048577.bin"));
  constexpr std::size_t kRunAt = 8, kRunLength = 40;
  const Sector64 run = ContentSector(image, big) + kRunAt;
  const std::string faults = "KESTRUM_TEST_FAULTS=read:" + std::to_string(structure) + ":1:" + image +
                             ";read:" + std::to_string(bad) + ":1:" + image + ";read:" + std::to_string(run) +
                             ":" + std::to_string(kRunLength) + ":" + image;

  auto listed = test::RunCliWith({faults}, {"ls", "--json", image});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_TRUE(Contains(listed.err, std::string(p.image) + "：读取时 1 个" + p.lossLine)) << listed.err;
  // Only what the bad structure held is missing.
  const std::set<std::string> missing = Missing(clean.out, listed.out);
  std::set<std::string> expected;
  for (const std::string& path : ListedPaths(clean.out)) {
    const bool inside = path.rfind(std::string(p.lostPath) + "/", 0) == 0;
    if (path == p.lostPath ? volume.fsKind == kFsNtfs : inside) expected.insert(path);
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(missing, expected);

  test::TempDir out;
  auto exported = test::RunCliWith({faults}, {"export", image, out.path(), "sizes"});
  EXPECT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_TRUE(Contains(exported.err, "含有无法读取的扇区（1 个，以零填充）：sizes/65536.bin\n")) << exported.err;
  EXPECT_TRUE(Contains(exported.err, "含有无法读取的扇区（40 个，以零填充）：sizes/1048577.bin\n")) << exported.err;
  EXPECT_TRUE(Contains(exported.err, "其中 2 个文件含有无法读取的扇区")) << exported.err;
  std::string withZeros = victim;
  std::fill_n(withZeros.begin() + 2 * 512, 512, '\0');
  EXPECT_EQ(test::ReadWholeFile(out.File("sizes/65536.bin")), withZeros);
  std::string bigWithZeros = big;
  std::fill_n(bigWithZeros.begin() + kRunAt * 512, kRunLength * 512, '\0');
  EXPECT_TRUE(test::ReadWholeFile(out.File("sizes/1048577.bin")) == bigWithZeros)
      << "sizes/1048577.bin is not its bytes with zeros exactly at the bad run";
  auto report = test::LoadJsonReport(out.path());
  EXPECT_EQ(report["sizes/65536.bin"]["result"], "copiedWithUnreadableSectors");
  EXPECT_EQ(report["sizes/65536.bin"]["unreadableSectors"], "1");
  EXPECT_EQ(report["sizes/1048577.bin"]["unreadableSectors"], "40");
  EXPECT_EQ(report["sizes/4096.bin"]["result"], "copied");
}

INSTANTIATE_TEST_SUITE_P(Volumes, FailingDiskCli,
                         ::testing::Values(Volume{"ntfs.img", "ntfs.info", "docs/报告/季度总结.txt", " MFT 记录无法读取，已跳过"},
                                           Volume{"fat32.img", "fat32.info", "docs/报告", "目录簇无法读取"},
                                           Volume{"exfat.img", "exfat.info", "docs/报告", "目录簇无法读取"}),
                         [](const auto& info) {
                           const std::string image = info.param.image;
                           return image.substr(0, image.find('.'));
                         });

// The files a folder's entries name, each with the first and last of its
// entries, in directory order: short entries of one entry each (the
// fixture's lower-case 8.3 names need no long name) on FAT, entry sets on
// exFAT.
struct NamedEntries {
  std::string name;
  std::size_t first = 0, last = 0;
};
std::vector<NamedEntries> FolderEntries(FsKind kind, const std::string& bytes) {
  std::vector<NamedEntries> named;
  const std::size_t count = bytes.size() / 32;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string entry = bytes.substr(i * 32, 32);
    const auto type = static_cast<unsigned char>(entry[0]);
    if (kind != kFsExfat) {
      if (type == 0 || type == 0xE5 || entry[11] == 0x0F || entry[0] == '.') continue;
      auto trimmed = [](std::string part) { return part.erase(part.find_last_not_of(' ') + 1); };
      std::string name = trimmed(entry.substr(0, 8)) + "." + trimmed(entry.substr(8, 3));
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      named.push_back({name, i, i});
    } else if (type == exfatentry::kFile) {
      const std::size_t last = i + static_cast<unsigned char>(entry[1]);
      const auto length = static_cast<unsigned char>(bytes[(i + 1) * 32 + 3]);
      std::string name;
      for (std::size_t k = 0; k < length; ++k) name += bytes[(i + 2) * 32 + 2 + 2 * k];  // ASCII names
      named.push_back({name, i, last});
      i = last;
    }
  }
  return named;
}

struct FolderCase {
  const char* image;
  const char* info;
  std::size_t runLength;  // sectors in a row on the disk, inside the folder
};

class FailingDiskFolder : public ::testing::TestWithParam<FolderCase> {};

// A bad run inside a folder: the listing loses the files whose entries it
// holds and no others. Read one cluster a call, the good one-sector clusters
// after the run fell inside the stretch being passed over; parsed as zeros,
// the unread sectors ended the folder there.
TEST_P(FailingDiskFolder, ABadRunInAFolderCostsTheEntriesItHoldsAndNoMore) {
  const FolderCase& p = GetParam();
  const std::string image = test::FixturePath(p.image);
  VolumeDescriptor volume = test::FixtureDescriptor(p.image, p.info);
  ASSERT_TRUE(ReadVolumeFileSystem(volume));
  auto paths = test::TreePaths(volume, kViewExistingFiles);
  ASSERT_TRUE(paths.count("many"));
  const FileNode& many = NodesOf(volume).nodes[paths["many"]];
  // The folder's sectors in directory order.
  std::vector<Sector64> sectors;
  if (volume.fsKind == kFsExfat) {
    const ExfatGeometry g = ExfatGeometryOf(volume);
    for (std::uint32_t c : DirectoryClusters(volume, many.location, many.size, many.noFatChain != 0)) {
      for (std::uint32_t s = 0; s < g.SectorsPerCluster(); ++s) sectors.push_back(g.ClusterSector(c) + s);
    }
  } else {
    const FatGeometry g = FatGeometryOf(volume);
    for (std::uint32_t c = many.location; g.IsValidCluster(c); c = NextCluster(CachedFat(volume), g.width, c)) {
      for (std::uint32_t s = 0; s < g.sectorsPerCluster; ++s) sectors.push_back(g.ClusterSector(c) + s);
    }
  }
  // The run: the first of its sectors in a row on the disk from the
  // folder's tenth on, with more of the folder after them.
  const std::size_t runLength = p.runLength;
  std::size_t runAt = 10;
  auto inARow = [&](std::size_t at) {
    for (std::size_t i = 1; i < runLength; ++i) {
      if (sectors[at + i] != sectors[at] + i) return false;
    }
    return true;
  };
  while (runAt + runLength + 10 < sectors.size() && !inARow(runAt)) ++runAt;
  ASSERT_LT(runAt + runLength + 10, sectors.size());
  const std::string whole = test::ReadWholeFile(image);
  std::string bytes;
  for (Sector64 s : sectors) bytes += whole.substr(s * kSectorSize, kSectorSize);
  std::set<std::string> expected;
  const std::size_t entriesPerSector = kSectorSize / 32;
  for (const NamedEntries& e : FolderEntries(volume.fsKind, bytes)) {
    if (e.last >= runAt * entriesPerSector && e.first < (runAt + runLength) * entriesPerSector) {
      expected.insert("many/" + e.name);
    }
  }
  ASSERT_GE(expected.size(), runLength * entriesPerSector / 3);

  auto clean = test::RunCli({"ls", "--json", image});
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  ASSERT_EQ(ListedPaths(clean.out).count(*expected.begin()), 1u);
  auto listed = test::RunCliWith({"KESTRUM_TEST_FAULTS=read:" + std::to_string(sectors[runAt]) + ":" +
                                  std::to_string(runLength) + ":" + image},
                                 {"ls", "--json", image});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const std::uint64_t clusterSectors =
      volume.fsKind == kFsExfat ? ExfatGeometryOf(volume).SectorsPerCluster() : FatGeometryOf(volume).sectorsPerCluster;
  const std::string clusters = std::to_string((runLength + clusterSectors - 1) / clusterSectors);
  EXPECT_TRUE(Contains(listed.err, std::string(p.image) + "：读取时 " + clusters + " 个目录簇无法读取")) << listed.err;
  EXPECT_EQ(Missing(clean.out, listed.out), expected);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FailingDiskFolder,
                         // exFAT's 4 KiB clusters of many/ lie apart on the disk.
                         ::testing::Values(FolderCase{"fat32.img", "fat32.info", 40},
                                           FolderCase{"exfat.img", "exfat.info", 6}),
                         [](const auto& info) {
                           const std::string image = info.param.image;
                           return image.substr(0, image.find('.'));
                         });

}  // namespace
}  // namespace kestrum
