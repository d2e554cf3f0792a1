// Whether an export target shares storage with the source: the mount table,
// and real loop devices mounted through FUSE.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "base/text.h"
#include "export/export_files.h"
#include "platform/linux/mount_info.h"
#include "loop_mount.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(MountInfo, FieldsAreUnescapedAndOptionalFieldsSkipped) {
  const std::string text =
      "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "44 26 259:0 / /tmp/my\\040mount rw,nosuid shared:12 master:3 - fuseblk /dev/loop0p1 rw,user_id=0\n"
      "45 26 0:52 / /mnt/img rw - fuse /srv/a\\134b.img rw\n"
      "garbage line\n"
      "46 26 x:y / /bad rw - ext4 /dev/sdz rw\n";
  std::vector<MountEntry> mounts = ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[1].mountPoint, "/tmp/my mount");
  EXPECT_EQ(mounts[1].fsType, "fuseblk");
  EXPECT_EQ(mounts[1].source, "/dev/loop0p1");
  EXPECT_EQ(mounts[1].major, 259u);
  EXPECT_EQ(mounts[1].minor, 0u);
  EXPECT_EQ(mounts[2].source, "/srv/a\\b.img");
  EXPECT_EQ(mounts[2].major, 0u);
}

TEST(MountInfo, TheLongestWholeComponentPrefixWinsAndLaterMountsCoverEarlierOnes) {
  std::vector<MountEntry> mounts = ParseMountInfo(
      "1 0 8:0 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 8:16 / /mnt/a rw - ext4 /dev/sdb1 rw\n"
      "3 1 8:32 / /mnt/a/b rw - ext4 /dev/sdc1 rw\n"
      "4 1 8:48 / /mnt/a rw - ext4 /dev/sdd1 rw\n");
  EXPECT_EQ(FindMountOf(mounts, "/mnt/a/b/c"), 2);
  EXPECT_EQ(FindMountOf(mounts, "/mnt/a/bc"), 3) << "/mnt/a/b is not a prefix of /mnt/a/bc";
  EXPECT_EQ(FindMountOf(mounts, "/mnt/a"), 3) << "the later mount on the same point";
  EXPECT_EQ(FindMountOf(mounts, "/mnt/ab"), 0);
  EXPECT_EQ(FindMountOf({}, "/x"), -1);
}

VolumeDescriptor SourceAt(const std::string& diskPath, const std::string& volumePath = "") {
  VolumeDescriptor v;
  v.diskPath = FromUtf8(diskPath);
  v.volumePath = FromUtf8(volumePath);
  return v;
}

TEST(TargetOnSource, AFuseMountOfTheLoopDeviceIsTheSourceDiskAndTmpIsNot) {
  test::TempDir dir;
  std::string why;
  auto ntfs = test::LoopMount::Create(dir.path(), "ntfs", false, 16, why);
  if (!ntfs) GTEST_SKIP() << why;
  auto exfat = test::LoopMount::Create(dir.path(), "exfat", true, 16, why);
  if (!exfat) GTEST_SKIP() << why;
  fs::create_directory(ntfs->mountPoint + "/sub");
  fs::create_directory(exfat->mountPoint + "/sub");
  const std::u16string inNtfs = FromUtf8(ntfs->mountPoint + "/sub");
  const std::u16string inExfat = FromUtf8(exfat->mountPoint + "/sub");
  const std::u16string besideImages = FromUtf8(dir.path());

  // The loop device itself, and a partition of it, are read as the source.
  EXPECT_TRUE(TargetIsOnSourceDevice(inNtfs, SourceAt(ntfs->device)));
  EXPECT_TRUE(TargetIsOnSourceDevice(inExfat, SourceAt(exfat->device)));
  EXPECT_TRUE(TargetIsOnSourceDevice(inExfat, SourceAt(exfat->volume)));
  EXPECT_TRUE(TargetIsOnSourceDevice(inExfat, SourceAt(exfat->device, exfat->volume)));
  EXPECT_TRUE(TargetIsOnSourceDevice(FromUtf8(exfat->mountPoint), SourceAt(exfat->volume)))
      << "the mount point itself";
  // Another disk, or a folder that is not on the loop device at all.
  EXPECT_FALSE(TargetIsOnSourceDevice(inNtfs, SourceAt(exfat->device)));
  EXPECT_FALSE(TargetIsOnSourceDevice(inExfat, SourceAt(ntfs->device)));
  EXPECT_FALSE(TargetIsOnSourceDevice(u"/tmp", SourceAt(ntfs->device)));
  EXPECT_FALSE(TargetIsOnSourceDevice(besideImages, SourceAt(exfat->volume)));

  // Reading the image file: writing beside it cannot touch its data, writing
  // into the file system it holds rewrites the image itself.
  EXPECT_FALSE(TargetIsOnSourceDevice(besideImages, SourceAt(ntfs->image)));
  EXPECT_TRUE(TargetIsOnSourceDevice(inNtfs, SourceAt(ntfs->image)));
  EXPECT_TRUE(TargetIsOnSourceDevice(inExfat, SourceAt(exfat->image)));
  EXPECT_FALSE(TargetIsOnSourceDevice(inExfat, SourceAt(ntfs->image)));
}

// The whole disk that holds `path`, found without the code under test: the
// folder's st_dev names a block device in /sys/dev/block; a partition's
// disk is its parent in sysfs. Empty when the folder is on no block device.
std::string DiskHolding(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "";
  const fs::path link = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  std::error_code ec;
  fs::path device = fs::canonical(link, ec);
  if (ec) return "";
  if (fs::exists(device / "partition")) device = device.parent_path();
  return "/dev/" + device.filename().string();
}

TEST(TargetOnSource, TheDiskHoldingTheTargetIsTheSourceWhenReadWhole) {
  // Whatever disk holds this test's temporary folder: reading that disk
  // whole while writing into the folder is the case to refuse.
  test::TempDir dir;
  const std::string disk = DiskHolding(dir.path());
  if (disk.empty()) GTEST_SKIP() << "the temporary folder is on no block device here";
  if (!fs::exists(disk)) GTEST_SKIP() << disk << " is not in this /dev";
  EXPECT_TRUE(TargetIsOnSourceDevice(FromUtf8(dir.path()), SourceAt(disk))) << disk;
  EXPECT_FALSE(TargetIsOnSourceDevice(FromUtf8(dir.path()), SourceAt(dir.path() + "/missing.img")));
}

}  // namespace
}  // namespace kestrum
