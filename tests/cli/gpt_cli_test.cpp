// kestrum-cli on disks with a GUID partition table made by sfdisk: the
// listing from the primary, or from the backup when the primary is damaged;
// the primary mended from the backup; a lost table rebuilt as a GPT; and
// the undo of both, byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "base/byte_order.h"
#include "base/crc32.h"
#include "disk/gpt_layout.h"
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

// One header of the image (and, for its entries, its array) changed in
// place, with both CRCs made to fit again unless asked not to.
class GptEdit {
 public:
  GptEdit(const std::string& image, std::uint64_t headerLba) : image_(image), lba_(headerLba) {
    header_ = Read(lba_, 1);
    arrayLba_ = ReadLe64(header_, gpt::header::kEntriesLba);
    array_ = Read(arrayLba_, 32);
  }
  std::uint64_t Get64(std::size_t at) const { return ReadLe64(header_, at); }
  void Put32(std::size_t at, std::uint32_t v) { WriteLe32(header_, at, v); }
  void Put64(std::size_t at, std::uint64_t v) { WriteLe64(header_, at, v); }
  void PutEntry64(std::size_t entry, std::size_t at, std::uint64_t v) { WriteLe64(array_, entry * 128 + at, v); }
  void Save(bool fixCrcs) {
    if (fixCrcs) {
      WriteLe32(header_, gpt::header::kEntriesCrc, Crc32(array_));
      WriteLe32(header_, gpt::header::kHeaderCrc, 0);
      WriteLe32(header_, gpt::header::kHeaderCrc, Crc32(ByteView(header_).first(gpt::header::kSize)));
    }
    Write(lba_, header_);
    Write(arrayLba_, array_);
  }

 private:
  std::vector<std::uint8_t> Read(std::uint64_t lba, std::size_t count) const {
    std::ifstream in(image_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(lba * 512));
    std::vector<std::uint8_t> bytes(count * 512);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(in.good()) << lba;
    return bytes;
  }
  void Write(std::uint64_t lba, const std::vector<std::uint8_t>& bytes) const {
    std::fstream out(image_, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(lba * 512));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << lba;
  }
  std::string image_;
  std::uint64_t lba_, arrayLba_;
  std::vector<std::uint8_t> header_, array_;
};

// Damage of every kind to both copies of the table: the listing names it
// (or lists what it can and names each entry it leaves out), the mend from
// the backup refuses it, and nothing is read past the disk's end.
TEST_F(GptCommands, EveryDamageIsNamedAndNothingIsReadPastTheDisk) {
  namespace h = gpt::header;
  namespace e = gpt::entry;
  struct Case {
    const char* name;
    std::function<void(GptEdit&)> damage;
    std::string told;   // what the listing says; of both copies for a header
    std::size_t listed;  // partitions still listed
  };
  const std::string both = "gpt.img：GPT 已损坏（主 GPT：%s；备份 GPT：%s），无法从中读取分区，请用“恢复丢失的分区”查找";
  auto header = [&](const std::string& fault) {
    std::string line = both;
    line.replace(line.find("%s"), 2, fault);
    line.replace(line.find("%s"), 2, fault);
    return line;
  };
  const std::vector<Case> cases = {
      {"huge entry count", [](GptEdit& g) { g.Put32(h::kEntryCount, 0xFFFFFFFFu); }, header("分区项数目过多"), 0},
      {"huge entry size", [](GptEdit& g) { g.Put32(h::kEntrySize, 0x80000000u); }, header("分区项大小不对"), 0},
      {"array past the end", [](GptEdit& g) { g.Put64(h::kEntriesLba, 204790); }, header("分区项数组的位置不对"), 0},
      {"array at a huge LBA", [](GptEdit& g) { g.Put64(h::kEntriesLba, ~std::uint64_t{0} - 3); },
       header("分区项数组的位置不对"), 0},
      {"usable area past the end", [](GptEdit& g) { g.Put64(h::kLastUsableLba, 300000); }, header("可用区域超出磁盘"), 0},
      {"header at the wrong LBA", [](GptEdit& g) { g.Put64(h::kMyLba, g.Get64(h::kMyLba) + 1); },
       header("头部所在的扇区与其记录不符"), 0},
      {"CRC that fails", [](GptEdit& g) { g.Put32(h::kHeaderCrc, 1); }, header("头部 CRC32 校验失败"), 0},
      {"entry past the end", [](GptEdit& g) { g.PutEntry64(1, e::kLastLba, 1u << 30); },
       "gpt.img：GPT 分区项 2 超出磁盘末尾，未列出", 1},
      {"overlapping entries", [](GptEdit& g) { g.PutEntry64(1, e::kFirstLba, 40000); },
       "gpt.img：GPT 分区项 2 与分区项 1 重叠，未列出", 1},
  };
  const std::string pristine = dir_.File("pristine.img");
  std::filesystem::copy_file(disk_.image, pristine);
  const std::uint64_t bytes = disk_.sectors * 512;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::copy_file(pristine, disk_.image, std::filesystem::copy_options::overwrite_existing);
    for (std::uint64_t lba : {std::uint64_t{1}, disk_.sectors - 1}) {
      GptEdit edit(disk_.image, lba);
      c.damage(edit);
      edit.Save(std::string(c.name) != "CRC that fails");
    }
    const std::string log = dir_.File("reads.log");
    std::filesystem::remove(log);
    auto listed = test::RunCliWith({"KESTRUM_TEST_READ_LOG=" + log}, {"volumes", "--json", disk_.image});
    EXPECT_NE(listed.err.find(c.told), std::string::npos) << listed.err;
    EXPECT_EQ(test::ParseJsonLines(listed.out).size(), c.listed) << listed.out;
    EXPECT_EQ(listed.exitCode, c.listed == 0 ? 1 : 0) << listed.err;
    auto mend = test::RunCliWith({"KESTRUM_TEST_READ_LOG=" + log},
                                 {"repair", disk_.image, "--gpt-from-backup", "--history", History()});
    EXPECT_EQ(mend.exitCode, c.listed == 0 ? 1 : 0) << mend.err;
    const std::vector<std::string> reads = test::Lines(test::ReadWholeFile(log));
    EXPECT_FALSE(reads.empty());
    for (const std::string& line : reads) {
      std::uint64_t at = 0, size = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "%llu %llu", reinterpret_cast<unsigned long long*>(&at),
                            reinterpret_cast<unsigned long long*>(&size)),
                2);
      EXPECT_LE(at + size, bytes) << "read " << line;
    }
  }
}

TEST_F(GptCommands, TheTableOptionsAreChecked) {
  auto bad = RunCli({"repair", disk_.image, "--scan", "x", "--select", "0", "--table", "apm"});
  EXPECT_EQ(bad.exitCode, 2);
  auto mixed = RunCli({"repair", disk_.image, "--gpt-from-backup", "--select", "0"});
  EXPECT_EQ(mixed.exitCode, 2);
}

}  // namespace
}  // namespace kestrum
