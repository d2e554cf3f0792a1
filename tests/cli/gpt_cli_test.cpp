// kestrum-cli on disks with a GUID partition table made by sfdisk: the
// listing from the primary, or from the backup when the primary is damaged;
// the primary mended from the backup; a lost table rebuilt as a GPT; and
// the undo of both, byte for byte.

#include <gtest/gtest.h>


#include "support/flat_json.h"
#include "support/gpt_disk.h"
#include "support/run_command.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCli;
using test::RunCommand;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

using test::ZeroSectors;

class GptCommands : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::MakeGptDisk(dir_.path(), disk_)); }

  // `volumes --json` of the image: the starts, sizes and file systems, and what stderr said.
  void ExpectListed(const std::string& image, const std::string& told) {
    auto r = RunCli({"volumes", "--json", image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto lines = test::ParseJsonLines(r.out);
    ASSERT_EQ(lines.size(), disk_.partitions.size()) << r.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(*lines[i]["startSector"], std::to_string(disk_.partitions[i].start));
      EXPECT_EQ(*lines[i]["sectorCount"], std::to_string(disk_.partitions[i].size));
      EXPECT_EQ(*lines[i]["fsName"], disk_.partitions[i].fsName);
    }
    if (told.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(Count(r.err, told), 1u) << "said once: " << r.err;
    }
  }

  std::string History() const { return dir_.File("state/FixPartTable.dat"); }
  std::string Sha() const { return test::Sha256OfFile(disk_.image); }

  test::TempDir dir_;
  test::GptDisk disk_;
};

TEST_F(GptCommands, VolumesListFromThePrimaryOrElseFromTheBackupAndSaySo) {
  ExpectListed(disk_.image, "");
  ZeroSectors(disk_.image, 1);
  ExpectListed(disk_.image, "gpt.img：主 GPT 已损坏（没有 GPT 签名），分区取自磁盘末尾的备份 GPT");
  auto ls = RunCli({"ls", "--json", disk_.image, "--partition", "2"});
  ASSERT_EQ(ls.exitCode, 0) << ls.err;
  EXPECT_NE(ls.out.find("two.txt"), std::string::npos) << ls.out;
}

TEST_F(GptCommands, APrimaryMendedFromTheBackupIsWholeAgainAndUndoes) {
  const std::string whole = Sha();
  auto notNeeded = RunCli({"repair", disk_.image, "--gpt-from-backup", "--yes", "--history", History()});
  EXPECT_EQ(notNeeded.exitCode, 0) << notNeeded.err;
  EXPECT_NE(notNeeded.err.find("gpt.img：主 GPT 完好，不需要修复。"), std::string::npos) << notNeeded.err;

  ZeroSectors(disk_.image, 1);
  const std::string damaged = Sha();
  // Without a terminal and without --yes nothing is written.
  auto refused = RunCli({"repair", disk_.image, "--gpt-from-backup", "--history", History()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("即将用扇区204799的备份 GPT 重写gpt.img的主 GPT（主 GPT：没有 GPT 签名），改写33个扇区"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(Sha(), damaged);

  auto mend = RunCli({"repair", disk_.image, "--gpt-from-backup", "--yes", "--history", History()});
  ASSERT_EQ(mend.exitCode, 0) << mend.err;
  EXPECT_NE(mend.err.find("已写入的分区表扇区：1"), std::string::npos) << mend.err;
  EXPECT_EQ(Sha(), whole) << "the primary as sfdisk wrote it";
  bool clean = false;
  EXPECT_EQ(test::SfdiskGpt(disk_.image, clean), test::Made(disk_));
  EXPECT_TRUE(clean);
  ExpectListed(disk_.image, "");

  auto undo = RunCli({"undo", disk_.image, "--record", "0", "--yes", "--history", History()});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_EQ(Sha(), damaged);

  // Nothing whole to mend from.
  ZeroSectors(disk_.image, disk_.sectors - 1);
  auto none = RunCli({"repair", disk_.image, "--gpt-from-backup", "--yes", "--history", History()});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("gpt.img：没有找到完好的备份 GPT，无法修复主 GPT。"), std::string::npos) << none.err;
}

// Both headers and the protective MBR gone: the lost-partition scan finds
// both volumes, the rebuild writes a GPT with their starts and sizes, and
// the undo gives back every byte.
TEST_F(GptCommands, ALostTableIsRebuiltAsAGptAndUndone) {
  ZeroSectors(disk_.image, 0, 2);
  ZeroSectors(disk_.image, disk_.sectors - 1);
  const std::string lost = Sha();
  const std::string state = dir_.File("scan.kfp");
  auto scan = RunCli({"scan", "--lost-partitions", "--json", "--state", state, disk_.image});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  auto rows = test::ParseJsonLines(scan.out);
  ASSERT_EQ(rows.size(), 2u) << scan.out;
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(*rows[i]["startSector"], std::to_string(disk_.partitions[i].start));

  // Nothing tells of a GPT any more and the disk is small: MBR unless asked.
  auto mbr = RunCli({"repair", disk_.image, "--scan", state, "--select", "0,1", "--history", History()});
  EXPECT_NE(mbr.err.find("即将改写gpt.img的2个分区表扇区"), std::string::npos) << mbr.err;
  auto repair = RunCli(
      {"repair", disk_.image, "--scan", state, "--select", "0,1", "--table", "gpt", "--yes", "--history", History()});
  ASSERT_EQ(repair.exitCode, 0) << repair.err;
  EXPECT_NE(repair.err.find("已写入 GPT 分区表。"), std::string::npos) << repair.err;
  EXPECT_NE(repair.err.find("已写入的分区表扇区：0, 204767"), std::string::npos) << repair.err;
  bool clean = false;
  std::vector<test::SfdiskSeen> seen = test::SfdiskGpt(disk_.image, clean);
  EXPECT_TRUE(clean);
  ASSERT_EQ(seen.size(), 2u);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].start, disk_.partitions[i].start);
    EXPECT_EQ(seen[i].type, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    // A found FAT volume runs to its boot sector's sector count: what mkfs
    // made, within the partition sfdisk made.
    EXPECT_LE(seen[i].size, disk_.partitions[i].size);
    EXPECT_GE(seen[i].size + 8, disk_.partitions[i].size);
  }
  auto ls = RunCli({"ls", "--json", disk_.image, "--partition", "2"});
  ASSERT_EQ(ls.exitCode, 0) << ls.err;
  EXPECT_NE(ls.out.find("two.txt"), std::string::npos);

  auto listed = RunCli({"history", "--json", disk_.image, "--history", History()});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("\"sectors\":\"0-33, 204767-204799\""), std::string::npos) << listed.out;
  auto undo = RunCli({"undo", disk_.image, "--record", "0", "--yes", "--history", History()});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_EQ(Sha(), lost) << "both ends of the disk as they were";
}

TEST_F(GptCommands, TheTableOptionsAreChecked) {
  auto bad = RunCli({"repair", disk_.image, "--scan", "x", "--select", "0", "--table", "apm"});
  EXPECT_EQ(bad.exitCode, 2);
  auto mixed = RunCli({"repair", disk_.image, "--gpt-from-backup", "--select", "0"});
  EXPECT_EQ(mixed.exitCode, 2);
}

}  // namespace
}  // namespace kestrum
