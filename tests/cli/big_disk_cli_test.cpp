// kestrum-cli on the fixtures' 3 TiB sparse GPT disk (sfdisk, FAT32 at
// 1 MiB, NTFS at sector 5,000,000,000): listed and scanned whole; a sparse
// copy that lost its table found, rebuilt as a GPT and undone; a copy whose
// primary header is gone listed from the backup, mended and undone.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/gpt_disk.h"
#include "support/run_command.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCli;

constexpr std::uint64_t kDiskSectors = 6442450944;  // 3 TiB
constexpr char kBasicData[] = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";

struct BigPartition {
  std::uint64_t start = 0, sectors = 0;
  std::string fsName, label;
};

std::vector<BigPartition> BigPartitions() {
  std::vector<BigPartition> parts;
  for (const char* info : {"big.p1.info", "big.p2.info"}) {
    auto kv = test::LoadInfo(info);
    parts.push_back({std::stoull(kv["start"]), std::stoull(kv["sectors"]), kv["fs"] == "ntfs" ? "NTFS" : "FAT32",
                     kv["label"]});
  }
  return parts;
}

// What a table write or an undo can touch: the 34 sectors at the start, the
// 33 at the end, and the size.
std::string Ends(const std::string& image) {
  std::ifstream in(image, std::ios::binary);
  std::string head(34 * 512, '\0'), tail(33 * 512, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  in.seekg(static_cast<std::streamoff>((kDiskSectors - 33) * 512));
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  EXPECT_TRUE(in.good()) << image;
  return test::Sha256Hex(head) + " " + test::Sha256Hex(tail) + " " +
         std::to_string(std::filesystem::file_size(image));
}

class BigDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    parts_ = BigPartitions();
    ASSERT_EQ(parts_.size(), 2u);
    // A sparse copy: the fixture itself is only read.
    auto cp = test::RunCommand({"cp", "--sparse=always", test::FixturePath("big.img"), copy_});
    ASSERT_EQ(cp.exitCode, 0) << cp.err;
  }

  // `volumes --json` shows both partitions where sfdisk put them.
  void ExpectListed(const std::string& image, const std::string& told) {
    auto r = RunCli({"volumes", "--json", image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto lines = test::ParseJsonLines(r.out);
    ASSERT_EQ(lines.size(), parts_.size()) << r.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(*lines[i]["startSector"], std::to_string(parts_[i].start));
      EXPECT_EQ(*lines[i]["sectorCount"], std::to_string(parts_[i].sectors));
      EXPECT_EQ(*lines[i]["fsName"], parts_[i].fsName);
      EXPECT_EQ(*lines[i]["label"], parts_[i].label);
    }
    EXPECT_EQ(r.err, told);
  }

  void ExpectSfdiskSeesTheMadeTable(const std::string& image) {
    bool clean = false;
    std::vector<test::SfdiskSeen> seen = test::SfdiskGpt(image, clean);
    EXPECT_TRUE(clean) << "sfdisk --verify " << image;
    std::vector<test::SfdiskSeen> made;
    for (const BigPartition& p : parts_) made.push_back({p.start, p.sectors, kBasicData});
    EXPECT_EQ(seen, made);
  }

  std::string History() const { return dir_.File("state/FixPartTable.dat"); }

  test::TempDir dir_;
  const std::string copy_ = dir_.File("big.img");
  std::vector<BigPartition> parts_;
};

TEST_F(BigDisk, ListsAndScansWholeFindsItsLostTableRebuildsItAsAGptAndUndoes) {
  const std::string fixture = test::FixturePath("big.img");
  ExpectListed(fixture, "");
  ExpectSfdiskSeesTheMadeTable(fixture);

  // The whole disk by content: the holes between the volumes are not read.
  auto scan = RunCli({"scan", "--json", fixture});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  std::vector<std::string> found;
  for (auto& row : test::ParseJsonLines(scan.out)) {
    if (*row["foundBy"] == "bootSector") found.push_back(*row["startSector"] + " " + *row["label"]);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"2048 BIGFAT32", "5000000000 BIG_NTFS"})) << scan.out;

  // Both headers and the protective MBR gone.
  test::ZeroSectors(copy_, 0, 2);
  test::ZeroSectors(copy_, kDiskSectors - 1);
  const std::string lost = Ends(copy_);
  EXPECT_NE(RunCli({"volumes", copy_}).exitCode, 0);
  const std::string state = dir_.File("lost.kfp");
  auto lostScan = RunCli({"scan", "--lost-partitions", "--json", "--state", state, copy_});
  ASSERT_EQ(lostScan.exitCode, 0) << lostScan.err;
  auto rows = test::ParseJsonLines(lostScan.out);
  ASSERT_EQ(rows.size(), parts_.size()) << lostScan.out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(*rows[i]["startSector"], std::to_string(parts_[i].start));
    EXPECT_EQ(*rows[i]["sectorCount"], std::to_string(parts_[i].sectors));
  }

  // Past 2^32 sectors an MBR cannot be asked for; left to itself the rebuild
  // writes a GPT.
  auto mbr = RunCli({"repair", copy_, "--scan", state, "--select", "0,1", "--table", "mbr", "--yes", "--history",
                     History()});
  EXPECT_EQ(mbr.exitCode, 1);
  EXPECT_NE(mbr.err.find("您选择的01分区超出了MBR分区表能记录的范围"), std::string::npos) << mbr.err;
  EXPECT_EQ(Ends(copy_), lost);
  auto repair = RunCli({"repair", copy_, "--scan", state, "--select", "0,1", "--yes", "--history", History()});
  ASSERT_EQ(repair.exitCode, 0) << repair.err;
  EXPECT_NE(repair.err.find("改写磁盘开头和末尾的67个扇区"), std::string::npos) << repair.err;
  ExpectSfdiskSeesTheMadeTable(copy_);
  ExpectListed(copy_, "");

  auto history = RunCli({"history", "--json", copy_, "--history", History()});
  EXPECT_NE(history.out.find("\"sectors\":\"0-33, 6442450911-6442450943\""), std::string::npos) << history.out;
  auto undo = RunCli({"undo", copy_, "--record", "0", "--yes", "--history", History()});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_NE(undo.err.find("将改写67个扇区"), std::string::npos) << undo.err;
  EXPECT_EQ(Ends(copy_), lost);
}

TEST_F(BigDisk, APrimaryHeaderGoneListsFromTheBackupAndIsMendedFromIt) {
  const std::string whole = Ends(copy_);
  test::ZeroSectors(copy_, 1);
  const std::string damaged = Ends(copy_);
  ExpectListed(copy_, "big.img：主 GPT 已损坏（没有 GPT 签名），分区取自磁盘末尾的备份 GPT\n");

  auto mend = RunCli({"repair", copy_, "--gpt-from-backup", "--yes", "--history", History()});
  ASSERT_EQ(mend.exitCode, 0) << mend.err;
  EXPECT_NE(mend.err.find("即将用扇区6442450943的备份 GPT 重写big.img的主 GPT"), std::string::npos) << mend.err;
  EXPECT_EQ(Ends(copy_), whole) << "the primary as sfdisk wrote it";
  ExpectSfdiskSeesTheMadeTable(copy_);
  ExpectListed(copy_, "");

  auto undo = RunCli({"undo", copy_, "--record", "0", "--yes", "--history", History()});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_EQ(Ends(copy_), damaged);
}

}  // namespace
}  // namespace kestrum
