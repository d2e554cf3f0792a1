// kestrum-cli disks / volumes, run as a user runs them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/loop_device.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCli;
using test::RunCommand;

TEST(VolumesCommand, ListsEveryPartitionOfTheDiskImage) {
  auto r = RunCli({"volumes", "--json", test::FixturePath("disk.img")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto volumes = test::ParseJsonLines(r.out);
  auto parts = test::LoadPartitions();
  ASSERT_EQ(volumes.size(), parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    auto& v = volumes[i];
    EXPECT_EQ(*v["index"], std::to_string(i + 1));
    EXPECT_EQ(*v["name"], "disk.img#" + std::to_string(parts[i].number));
    EXPECT_EQ(*v["startSector"], std::to_string(parts[i].start));
    EXPECT_EQ(*v["sectorCount"], std::to_string(parts[i].sectors));
    EXPECT_EQ(*v["fsName"], test::FixturePlatformName(parts[i].fs));
    EXPECT_EQ(*v["label"], parts[i].label);
    EXPECT_EQ(*v["volumePath"], "");
  }
}

TEST(VolumesCommand, TextListingHasTheDevicePageColumns) {
  auto r = RunCli({"volumes", test::FixturePath("fat32.img")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto lines = test::Lines(r.out);
  ASSERT_EQ(lines.size(), 2u);
  for (const char* column : {"盘符", "分区卷标", "文件系统", "分区容量", "所属磁盘"}) {
    EXPECT_NE(lines[0].find(column), std::string::npos) << column;
  }
  EXPECT_NE(lines[1].find("fat32.img"), std::string::npos);
  EXPECT_NE(lines[1].find("FAT32"), std::string::npos);
  EXPECT_NE(lines[1].find(" GB"), std::string::npos);
}

TEST(VolumesCommand, FailuresSayWhatWentWrong) {
  auto missing = RunCli({"volumes", "/nonexistent/disk.img"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("获取设备信息失败!"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("/nonexistent/disk.img"), std::string::npos);

  auto usage = RunCli({"volumes", "--bogus"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_EQ(RunCli({"frobnicate"}).exitCode, 2);
  EXPECT_EQ(RunCli({}).exitCode, 2);
}

TEST(DevicesCommands, AnAttachedDiskIsFoundThroughTheKernelsPartitions) {
  ASSERT_EQ(geteuid(), 0) << "attaching loop devices needs root";
  test::LoopDevice loop(test::FixturePath("disk.img"), {.readOnly = true, .partitions = true});
  ASSERT_FALSE(loop.device().empty()) << loop.error();
  std::string name = std::filesystem::path(loop.device()).filename().string();

  auto disks = RunCli({"disks", "--json"});
  ASSERT_EQ(disks.exitCode, 0) << disks.err;
  bool listed = false;
  for (auto& d : test::ParseJsonLines(disks.out)) {
    if (*d["path"] != loop.device()) continue;
    listed = true;
    EXPECT_EQ(*d["description"], "disk.img") << "a loop device is named by its backing file";
    EXPECT_FALSE(d["sizeText"]->empty());
  }
  EXPECT_TRUE(listed) << disks.out;

  auto r = RunCli({"volumes", "--json", loop.device()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto volumes = test::ParseJsonLines(r.out);
  auto parts = test::LoadPartitions();
  ASSERT_EQ(volumes.size(), parts.size()) << r.out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    auto& v = volumes[i];
    EXPECT_EQ(*v["name"], name + "p" + std::to_string(parts[i].number)) << "named by the kernel, not by the image code";
    EXPECT_EQ(*v["volumePath"], "/dev/" + name + "p" + std::to_string(parts[i].number));
    EXPECT_EQ(*v["diskPath"], loop.device());
    EXPECT_EQ(*v["startSector"], std::to_string(parts[i].start));
    EXPECT_EQ(*v["sectorCount"], std::to_string(parts[i].sectors));
    EXPECT_EQ(*v["fsName"], test::FixturePlatformName(parts[i].fs));
    EXPECT_EQ(*v["label"], parts[i].label);
  }
}

// Run as a user without the rights to read disks: the attached disk is
// named with the reason, the image is listed, and nothing says "no disk".
TEST(DevicesCommands, WithoutRightsTheDisksAreNamedNotTakenForMissing) {
  ASSERT_EQ(geteuid(), 0) << "attaching loop devices needs root";
  test::LoopDevice loop(test::FixturePath("fat16.img"), {.readOnly = true, .partitions = true});
  ASSERT_FALSE(loop.device().empty()) << loop.error();
  // nobody cannot reach into a clone under a folder only root may enter
  // (/root, a 0700 temporary folder): the program and the image it is given
  // go where nobody may read them.
  test::TempDir shared("/tmp");  // TMPDIR may itself be such a folder
  namespace fs = std::filesystem;
  const std::string cli = shared.File("kestrum-cli"), image = shared.File("fat32.img");
  fs::copy_file(KESTRUM_CLI_PATH, cli);
  fs::copy_file(test::FixturePath("fat32.img"), image);
  fs::permissions(shared.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(cli, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  auto asNobody = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", cli};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv);
  };
  const std::string named = "无法打开设备: " + loop.device() + "（权限不足）";
  const std::string hint = "读取磁盘需要 root 权限，请以 root 身份运行本软件（例如用 sudo）";

  auto disks = asNobody({"disks", image});
  EXPECT_EQ(disks.exitCode, 0) << disks.err;
  EXPECT_NE(disks.out.find("fat32.img"), std::string::npos) << disks.out;
  for (const auto& [what, r] : {std::pair{"disks", disks}, std::pair{"volumes", asNobody({"volumes"})},
                                std::pair{"ls", asNobody({"ls", loop.device()})}}) {
    EXPECT_NE(r.err.find(named), std::string::npos) << what << ": " << r.err;
    EXPECT_NE(r.err.find(hint), std::string::npos) << what << ": " << r.err;
    EXPECT_EQ(r.err.find("未发现磁盘设备"), std::string::npos) << what << ": " << r.err;
    EXPECT_EQ(r.err.find("获取设备信息失败!"), std::string::npos) << what << ": " << r.err;
  }
}

}  // namespace
}  // namespace kestrum
