// The lost-partition function end to end through kestrum-cli, on copies of
// the fixture disk whose partition tables were zeroed: scan, repair, the
// volumes list their files again, undo gives back every byte.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>

#include "repair/repair_history.h"
#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/loop_device.h"
#include "support/lost_disk.h"
#include "support/run_command.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCli;

std::string Joined(std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += (i ? "," : "") + std::to_string(i);
  return text;
}

void ExpectVolumesListTheirFiles(const test::LostDisk& disk) {
  for (std::size_t n = 0; n < disk.manifests.size(); ++n) {
    SCOPED_TRACE(disk.manifests[n]);
    auto r = RunCli({"ls", "--json", disk.image, "--partition", std::to_string(n + 1)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> listed;
    for (auto& object : test::ParseJsonLines(r.out)) listed.insert(*object["path"]);
    for (const test::ManifestEntry& e : test::LoadManifest(disk.manifests[n])) {
      if (!e.deleted) {
        EXPECT_EQ(listed.count(e.path), 1u) << e.path;
      }
    }
  }
}

class LostPartitionsCli : public ::testing::TestWithParam<bool> {};

TEST_P(LostPartitionsCli, ScanRepairListUndo) {
  const bool withLogicals = GetParam();
  test::TempDir dir;
  test::LostDisk disk = test::MakeLostDisk(dir.path(), withLogicals);
  const std::string lost = test::ReadWholeFile(disk.image);
  const std::string state = dir.File("scan.kfp"), history = dir.File("FixPartTable.dat");
  ASSERT_TRUE(test::SfdiskPartitions(disk.image).empty());

  auto scan = RunCli({"scan", "--lost-partitions", "--json", "--state", state, disk.image});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  auto rows = test::ParseJsonLines(scan.out);
  // Every volume of the disk is found once: the backup boot sectors are no rows.
  ASSERT_EQ(rows.size(), 4u) << scan.out;
  const char* names[] = {"NTFS", "FAT32", "FAT16", "EXFAT"};
  const std::uint64_t starts[] = {2048, 100352, 200704, 284672};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(*rows[i]["fileSystem"], names[i]);
    EXPECT_EQ(*rows[i]["startSector"], std::to_string(starts[i]));
    // The FAT16 volume's first FAT sector is mostly end-of-chain marks of
    // small files: still a FAT.
    EXPECT_EQ(*rows[i]["dataState"], "1") << names[i];
  }

  // Without a terminal and without --yes nothing is written.
  auto refused = RunCli({"repair", disk.image, "--scan", state, "--select", "0,1", "--history", history});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("没有写入任何扇区"), std::string::npos) << refused.err;
  EXPECT_EQ(test::ReadWholeFile(disk.image), lost);

  const std::string select = Joined(disk.original.size());
  auto repair = RunCli({"repair", disk.image, "--scan", state, "--select", select, "--yes", "--history", history});
  ASSERT_EQ(repair.exitCode, 0) << repair.err;
  EXPECT_NE(repair.err.find("重建分区表完成，请重启电脑查看分区是否已经找回。"), std::string::npos);
  EXPECT_EQ(test::SfdiskPartitions(disk.image), disk.original);
  ExpectVolumesListTheirFiles(disk);
  const std::string repaired = test::ReadWholeFile(disk.image);

  auto listed = RunCli({"history", "--json", disk.image, "--history", history});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  auto records = test::ParseJsonLines(listed.out);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(*records[0]["description"], withLogicals ? "lost-logicals.img" : "lost-primaries.img");
  EXPECT_EQ(*records[0]["sectors"], withLogicals ? "0, 200641, 284609" : "0");

  auto undo = RunCli({"undo", disk.image, "--record", "0", "--yes", "--history", history});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_EQ(test::ReadWholeFile(disk.image), lost);
  auto again = RunCli({"undo", disk.image, "--record", "0", "--yes", "--history", history});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("没有找到您重建分区表的历史记录！"), std::string::npos) << again.err;
  // The undo kept the tables it overwrote: undoing the undo repairs the disk again.
  const std::string kept = dir.File("FixPartTable-undone.dat");
  EXPECT_NE((undo.out + undo.err).find(kept), std::string::npos);
  auto redo = RunCli({"undo", disk.image, "--record", "0", "--yes", "--history", kept});
  ASSERT_EQ(redo.exitCode, 0) << redo.err;
  EXPECT_EQ(test::ReadWholeFile(disk.image), repaired);
}

INSTANTIATE_TEST_SUITE_P(Disks, LostPartitionsCli, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithLogicals" : "PrimariesOnly"; });

// A partition device opens like an image: a table written at its start would
// go over its own boot sector. Every command that takes a DISK refuses it.
TEST(LostPartitionsCli, APartitionDeviceIsRefusedAsTheDisk) {
  ASSERT_EQ(geteuid(), 0) << "attaching loop devices needs root";
  test::TempDir dir;
  const std::string image = dir.File("disk.img");
  std::filesystem::copy_file(test::FixturePath("disk.img"), image);
  const std::string before = test::ReadWholeFile(image);
  {
    test::LoopDevice loop(image, {.readOnly = false, .partitions = true});
    ASSERT_FALSE(loop.device().empty()) << loop.error();
    const std::string partition = loop.device() + "p1";
    ASSERT_TRUE(std::filesystem::exists(partition));
    const std::string history = dir.File("history.dat");
    const std::vector<std::vector<std::string>> commands = {
        {"repair", partition, "--gpt-from-backup", "--yes", "--history", history},
        {"repair", partition, "--scan", dir.File("scan.kfp"), "--select", "0", "--yes", "--history", history},
        {"undo", partition, "--record", "0", "--yes", "--history", history},
        {"scan", "--lost-partitions", partition},
        {"history", partition, "--history", history},
    };
    for (const auto& command : commands) {
      SCOPED_TRACE(command[0] + " " + command[2]);
      auto r = RunCli(command);
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE(r.err.find("请给出整个磁盘，而不是其中的分区：" + loop.device() + "\n"), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(test::ReadWholeFile(image), before);
}

TEST(LostPartitionsCli, RefusesAScanOfAnotherDiskAndBadSelections) {
  test::TempDir dir;
  test::LostDisk disk = test::MakeLostDisk(dir.path(), false);
  const std::string state = dir.File("scan.kfp");
  test::WriteWholeFile(dir.File("other.img"), std::string(1 << 20, '\0'));
  // A scan of the other (blank) disk finds nothing and names that disk.
  auto scan = RunCli({"scan", "--lost-partitions", "--state", state, dir.File("other.img")});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  auto wrong = RunCli({"repair", disk.image, "--scan", state, "--select", "0", "--yes",
                       "--history", dir.File("h.dat")});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("扫描结果文件属于另一个磁盘"), std::string::npos) << wrong.err;
  auto none = RunCli({"repair", dir.File("other.img"), "--scan", state, "--select", "0", "--yes",
                      "--history", dir.File("h.dat")});
  EXPECT_EQ(none.exitCode, 2);
  test::WriteWholeFile(dir.File("junk.kfp"), "KFP2 damaged");
  auto junk = RunCli({"repair", disk.image, "--scan", dir.File("junk.kfp"), "--select", "0", "--yes",
                      "--history", dir.File("h.dat")});
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_NE(junk.err.find("扫描结果文件已损坏"), std::string::npos) << junk.err;
  auto missing = RunCli({"repair", disk.image, "--scan", dir.File("none.kfp"), "--select", "0", "--yes",
                         "--history", dir.File("h.dat")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("无法读取扫描结果文件"), std::string::npos) << missing.err;
  // A scan result the build before 64-bit sector numbers wrote (see
  // tests/data/old-formats): refused, with the advice to scan again.
  auto old = RunCli({"repair", disk.image, "--scan", KESTRUM_TEST_DATA_DIR "/old-formats/old-found-partitions.kfp",
                     "--select", "0", "--yes", "--history", dir.File("h.dat")});
  EXPECT_EQ(old.exitCode, 1);
  EXPECT_NE(old.err.find("旧版本"), std::string::npos) << old.err;
  EXPECT_NE(old.err.find("请重新扫描"), std::string::npos) << old.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("h.dat"))) << "refused before anything was recorded";
}

// A history the build before wrote, of a disk named old-format-disk.img:
// undoing its newer record writes that record's MBR and EBR back where the
// old form put them, and the rest of the history stays readable.
TEST(LostPartitionsCli, ARecordOfTheOldHistoryFormIsUndone) {
  test::TempDir dir;
  const std::string history = dir.File("FixPartTable.dat");
  const std::string oldHistory = test::ReadWholeFile(KESTRUM_TEST_DATA_DIR "/old-formats/old-history.dat");
  test::WriteWholeFile(history, oldHistory);
  const std::string image = dir.File("old-format-disk.img");
  test::WriteWholeFile(image, std::string(24 << 20, '\x5A'));
  auto undo = RunCli({"undo", image, "--record", "1", "--yes", "--history", history});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  // Record 1, the old form: count 2, then sector 0 and its 512 bytes, sector 26561 and its 512.
  const std::size_t record1 = oldHistory.size() - 2 * (4 + 512);
  const std::string disk = test::ReadWholeFile(image);
  EXPECT_EQ(disk.substr(0, 512), oldHistory.substr(record1 + 4, 512));
  EXPECT_EQ(disk.substr(26561u * 512, 512), oldHistory.substr(record1 + 4 + 512 + 4, 512));
  EXPECT_EQ(disk.substr(512, 512), std::string(512, '\x5A')) << "nothing else written";
  auto left = RunCli({"history", "--json", image, "--history", history});
  ASSERT_EQ(left.exitCode, 0) << left.err;
  auto records = test::ParseJsonLines(left.out);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(*records[0]["sectors"], "0, 26561");
}

TEST(LostPartitionsCli, AnUndoThatCannotWriteKeepsItsRecordAndFails) {
  test::TempDir dir;
  const std::string image = dir.File("undo.img"), history = dir.File("FixPartTable.dat");
  test::SectorImage disk(64);
  disk.Put8(0, 0, 0x99);
  disk.WriteTo(image);
  const std::string before = test::ReadWholeFile(image);
  repair::RebuildRecord record;
  record.time = u"2026-12-09 01:00:00";
  record.sectors.resize(1);
  std::fill(record.sectors[0].data.begin(), record.sectors[0].data.end(), 0x5A);
  ASSERT_TRUE(repair::AddRebuildRecord(history, u"undo.img", record));

  const std::vector<std::string> undo = {"undo", image, "--record", "0", "--yes", "--history", history};
  auto failed = test::RunCliWith({"KESTRUM_TEST_FAULTS=write:0:1:" + image}, undo);
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.err.find("写磁盘出错！"), std::string::npos) << failed.err;
  EXPECT_NE(failed.err.find("写回失败的扇区：0"), std::string::npos) << failed.err;
  EXPECT_EQ(failed.err.find("撤销重建操作完成"), std::string::npos) << failed.err;
  EXPECT_EQ(test::ReadWholeFile(image), before);
  auto listed = RunCli({"history", "--json", image, "--history", history});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(test::ParseJsonLines(listed.out).size(), 1u);

  auto done = RunCli(undo);
  ASSERT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(test::ReadWholeFile(image).substr(0, 512), std::string(512, '\x5A'));
  EXPECT_EQ(RunCli({"history", image, "--history", history}).exitCode, 1);
}

}  // namespace
}  // namespace kestrum
