// kestrum-cli on disks with a GUID partition table made by sfdisk: the
// listing from the primary, or from the backup when the primary is damaged.

#include <gtest/gtest.h>

#include "support/flat_json.h"
#include "support/gpt_disk.h"
#include "support/run_command.h"
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

// Zeroes `count` sectors from `sector` of the image in place.
void ZeroSectors(const std::string& image, std::uint64_t sector, std::uint64_t count = 1) {
  ASSERT_EQ(RunCommand({"dd", "if=/dev/zero", "of=" + image, "bs=512", "seek=" + std::to_string(sector),
                        "count=" + std::to_string(count), "conv=notrunc", "status=none"})
                .exitCode,
            0);
}

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

}  // namespace
}  // namespace kestrum
