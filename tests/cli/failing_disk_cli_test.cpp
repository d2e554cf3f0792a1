// ls and export of a volume whose disk fails under them (the test build's
// KESTRUM_TEST_FAULTS): a directory that will not read costs its own
// entries, not the listing, and says so; a file with a bad sector, or a
// bad run, is exported with zeros exactly there and named with its count.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fs/exfat/exfat_layout.h"
#include "fs/fat/fat_layout.h"
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
  std::set<std::string> missing;
  const std::set<std::string> got = ListedPaths(listed.out);
  for (const std::string& path : ListedPaths(clean.out)) {
    if (!got.count(path)) missing.insert(path);
  }
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

}  // namespace
}  // namespace kestrum
