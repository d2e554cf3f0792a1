#include "discovery/discovery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "discovery/device_rows.h"
#include "platform/linux/sysfs.h"
#include "disk/partition_table.h"
#include "support/bitlocker_images.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(DiskSizeText, SwitchesToGigabytesAtOneGibibyteAndToTerabytesAtOneTebibyte) {
  EXPECT_EQ(FormatDiskSize(2097152), u"1.00 GB");
  EXPECT_EQ(FormatDiskSize(2097151), u"1024.00 MB");
  EXPECT_EQ(FormatDiskSize(2048), u"1.00 MB");
  EXPECT_EQ(FormatDiskSize(2147483647), u"1024.00 GB");
  EXPECT_EQ(FormatDiskSize(2147483648), u"1.00 TB");
  EXPECT_EQ(FormatDiskSize(3ull << 31), u"3.00 TB");
  EXPECT_EQ(FormatDiskSize(20ull << 31), u"20.00 TB");
  EXPECT_EQ(FormatGibOrTib(0.5), u"0.50 GB");
  EXPECT_EQ(FormatGibOrTib(3072.0), u"3.00 TB");
  EXPECT_EQ(FormatGibOrTib(2384.0, true), u"2.33(TB)");
  EXPECT_EQ(FormatGibOrTib(1023.99, true), u"1023.99(GB)");
}

TEST(DiskDescription, OneBlankBetweenVendorAndProductNoneAtTheEnd) {
  EXPECT_EQ(ComposeDiskDescription("VNDR    ", "MODEL-1   "), "VNDR MODEL-1");
  EXPECT_EQ(ComposeDiskDescription("", "MODEL-1"), "MODEL-1");
  EXPECT_EQ(ComposeDiskDescription("    ", "MODEL-1 "), "MODEL-1");
  EXPECT_EQ(ComposeDiskDescription("ATA", ""), "ATA");
}

TEST(VolumeDescriptor, PlatformNamesSelectTheReader) {
  struct Case {
    const char16_t* name;
    FsKind kind;
    int type;
  } cases[] = {{u"NTFS", kFsNtfs, 7}, {u"FAT", kFsFat16, 6}, {u"FAT32", kFsFat32, 11},
               {u"exFAT", kFsExfat, 7}, {u"ext4", kFsUnknown, 0}, {u"ntfs", kFsUnknown, 0}};
  for (const Case& c : cases) {
    VolumeDescriptor v;
    v.partitionType = 99;
    ClassifyFsName(c.name, v);
    EXPECT_EQ(v.fsKind, c.kind) << ToUtf8(c.name);
    EXPECT_EQ(v.partitionType, c.type) << ToUtf8(c.name);
  }
}

TEST(VolumeDescriptor, SerialComesFromTheOffsetOfThePartitionType) {
  VolumeDescriptor v;
  auto put = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) v.bootSector[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  put(0x27, 0x11111111);
  put(0x43, 0x22222222);
  put(0x48, 0x33333333);
  put(0x64, 0x44444444);
  struct Case {
    int type;
    std::uint32_t serial;
  } cases[] = {{6, 0x11111111}, {0x1E, 0x11111111}, {11, 0x22222222}, {0x1C, 0x22222222},
               {7, 0x33333333}, {0x17, 0x33333333}, {0x83, 0}};
  for (const Case& c : cases) {
    v.partitionType = static_cast<std::uint8_t>(c.type);
    v.readerState.serial = 0xDEADBEEF;
    SerialFromBootSector(v);
    EXPECT_EQ(v.readerState.serial, c.serial) << "type " << c.type;
  }
  std::memcpy(v.bootSector.data() + 3, "EXFAT   ", 8);
  v.partitionType = 7;
  SerialFromBootSector(v);
  EXPECT_EQ(v.readerState.serial, 0x44444444u) << "type 7 with an exFAT name";
}

// A made-up /sys/block to test which devices are offered, in which order.
class FakeSysfs : public ::testing::Test {
 protected:
  void Disk(const std::string& name, const std::string& vendor = "", const std::string& model = "") {
    fs::create_directories(root() + "/" + name + "/device");
    if (!vendor.empty()) Write(name + "/device/vendor", vendor);
    if (!model.empty()) Write(name + "/device/model", model);
    Write(name + "/removable", "0");
  }
  void Loop(const std::string& name, const std::string& backing) {
    fs::create_directories(root() + "/" + name + "/loop");
    if (!backing.empty()) Write(name + "/loop/backing_file", backing);
  }
  void Partition(const std::string& disk, const std::string& name, int number, std::uint64_t start,
                 std::uint64_t size) {
    std::string dir = disk + "/" + name;
    fs::create_directories(root() + "/" + dir);
    Write(dir + "/partition", std::to_string(number));
    Write(dir + "/start", std::to_string(start));
    Write(dir + "/size", std::to_string(size));
  }
  void Write(const std::string& relative, const std::string& text) {
    std::ofstream(root() + "/" + relative) << text << "\n";
  }
  std::string root() const { return dir_.path(); }

  test::TempDir dir_;
};

TEST_F(FakeSysfs, ListsDiskKindsInNaturalOrderAndSkipsTheRest) {
  Disk("sdb", "VNDR    ", "MODEL-1   ");
  Disk("sda");
  Disk("nvme0n1");
  Disk("vda");
  Disk("zram0");
  Disk("ram0");
  Disk("sr0");
  Disk("dm-0");
  Loop("loop10", "/images/ten.img");
  Loop("loop2", "/images/two.img");
  Loop("loop0", "");  // not attached
  Sysfs sysfs(root());
  std::vector<std::string> names;
  for (const SysfsDisk& d : sysfs.ListDisks()) names.push_back(d.name);
  EXPECT_EQ(names, (std::vector<std::string>{"loop2", "loop10", "nvme0n1", "sda", "sdb", "vda"}));
  SysfsDisk sdb;
  ASSERT_TRUE(sysfs.ReadDisk("sdb", sdb));
  EXPECT_EQ(ComposeDiskDescription(sdb.vendor, sdb.model), "VNDR MODEL-1");
}

TEST_F(FakeSysfs, PartitionsComeByAscendingStart) {
  Disk("sdc");
  Partition("sdc", "sdc2", 2, 500000, 1000);
  Partition("sdc", "sdc1", 1, 2048, 1000);
  Partition("sdc", "sdc5", 5, 4096, 1000);
  fs::create_directories(root() + "/sdc/queue");  // not a partition
  auto parts = Sysfs(root()).ListPartitions("sdc");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].name, "sdc1");
  EXPECT_EQ(parts[1].name, "sdc5");
  EXPECT_EQ(parts[1].startSector, 4096u);
  EXPECT_EQ(parts[2].number, 2);
}

// Disks that are there but will not open, as a user without rights meets
// them: named with their reason, the others still listed, and the listing
// fails only when there is truly nothing.
TEST_F(FakeSysfs, DevicesThatWillNotOpenAreNamedWithTheirReason) {
  for (const char* name : {"sda", "sdb", "sdc", "vda"}) Disk(name);
  Partition("vda", "vda1", 1, 2048, 4096);
  const std::u16string fat16 = FromUtf8(test::FixturePath("fat16.img"));
  const std::u16string fat32 = FromUtf8(test::FixturePath("fat32.img"));
  const std::u16string ntfs = FromUtf8(test::FixturePath("ntfs.img"));
  // What open(2) answers for each device path; images open for real.
  using Answers = std::map<std::u16string, int>;
  struct Case {
    const char* what;
    Answers answers;  // 0: opens, as the image of the same name in `redirect`
    std::vector<std::u16string> images;
    std::vector<std::u16string> disks;
    std::vector<std::u16string> lines;
    std::size_t volumes;
    RunState state;
  };
  const std::u16string noRights = u"读取磁盘需要 root 权限，请以 root 身份运行本软件（例如用 sudo）";
  const std::u16string ioError = FromUtf8(std::strerror(EIO));
  const std::map<std::u16string, std::u16string> redirect = {{u"/dev/sda", fat32}, {u"/dev/vda", ntfs}};
  const Case cases[] = {
      {"one disk refused, an empty card reader, an image",
       {{u"/dev/sda", 0}, {u"/dev/sdb", EACCES}, {u"/dev/sdc", ENOMEDIUM}, {u"/dev/vda", EIO}},
       {fat16},
       {u"/dev/sda", fat16},
       {u"无法打开设备: /dev/sdb（权限不足）", u"无法打开设备: /dev/vda（" + ioError + u"）", noRights},
       2,
       RunState::kFinished},
      {"every disk refused",
       {{u"/dev/sda", EACCES}, {u"/dev/sdb", EPERM}, {u"/dev/sdc", EACCES}, {u"/dev/vda", EACCES}},
       {},
       {},
       {u"无法打开设备: /dev/sda（权限不足）", u"无法打开设备: /dev/sdb（权限不足）",
        u"无法打开设备: /dev/sdc（权限不足）", u"无法打开设备: /dev/vda（权限不足）", noRights},
       0,
       RunState::kFinished},
      {"a disk that opens, its partition that does not",
       {{u"/dev/sda", ENOMEDIUM}, {u"/dev/sdb", ENOMEDIUM}, {u"/dev/sdc", ENOMEDIUM}, {u"/dev/vda", 0},
        {u"/dev/vda1", EACCES}},
       {},
       {u"/dev/vda"},
       {u"无法打开设备: /dev/vda1（权限不足）", noRights},
       0,
       RunState::kFinished},
      {"no disk at all: card readers without cards",
       {{u"/dev/sda", ENOMEDIUM}, {u"/dev/sdb", ENOMEDIUM}, {u"/dev/sdc", ENOMEDIUM}, {u"/dev/vda", ENOMEDIUM}},
       {},
       {},
       {},
       0,
       RunState::kAbort},
  };
  for (const Case& c : cases) {
    DiskSelection selection;
    selection.paths = c.images;
    selection.platform.disks = std::make_shared<SysfsDisks>(root());
    selection.platform.open = [&c, &redirect](const std::u16string& path, DeviceHandle& out) {
      auto answer = c.answers.find(path);
      if (answer == c.answers.end()) return OpenDeviceOrErrno(path, out);
      if (answer->second != 0) return answer->second;
      int error = OpenDeviceOrErrno(redirect.at(path), out);
      out.name = path;
      return error;
    };
    DiskList disks;
    UnopenedDevices unopened;
    EXPECT_EQ(EnumerateDisks(selection, disks, nullptr, &unopened), !c.disks.empty()) << c.what;
    std::vector<std::u16string> paths;
    for (const DiskInfo& disk : disks) paths.push_back(disk.path);
    EXPECT_EQ(paths, c.disks) << c.what;

    test::PrepareRun();
    VolumeListRequest request;
    request.selection = selection;
    VolumeListThread(request);
    EXPECT_EQ(UnopenedDeviceLines(request.unopened), c.lines) << c.what;
    EXPECT_EQ(request.volumes.size(), c.volumes) << c.what;
    EXPECT_EQ(CurrentRunState(), c.state) << c.what;
    EXPECT_TRUE(request.problems.empty()) << c.what;
  }
}

TEST(DiskNames, OnlyWholeDisks) {
  for (const char* yes : {"sda", "sdab", "vdb", "xvda", "hdc", "nvme0n1", "nvme12n3", "mmcblk0", "loop7"}) {
    EXPECT_TRUE(IsListedDiskName(yes)) << yes;
  }
  for (const char* no : {"sda1", "nvme0n1p2", "mmcblk0p1", "mmcblk0boot0", "loop", "zram0", "ram1", "md0", "nvme0"}) {
    EXPECT_FALSE(IsListedDiskName(no)) << no;
  }
}

VolumeList ListImages(const std::vector<std::string>& paths, DiscoveryProblems* problems = nullptr) {
  test::PrepareRun();
  VolumeListRequest request;
  request.selection.systemDisks = false;
  for (const std::string& p : paths) request.selection.paths.push_back(FromUtf8(p));
  VolumeListThread(request);
  if (problems) *problems = request.problems;
  return request.volumes;
}

TEST(ImageDiscovery, EveryPartitionOfTheFixtureDiskWithStartSizeNameAndLabel) {
  std::string disk = test::FixturePath("disk.img");
  std::vector<test::FixturePartition> expected = test::LoadPartitions();
  ASSERT_EQ(expected.size(), 4u);
  VolumeList volumes = ListImages({disk});
  ASSERT_EQ(volumes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const VolumeDescriptor& v = volumes[i];
    const test::FixturePartition& e = expected[i];
    EXPECT_EQ(v.name, FromUtf8("disk.img#" + std::to_string(e.number)));
    EXPECT_EQ(v.startSector, e.start);
    EXPECT_EQ(v.sectorCount, e.sectors);
    EXPECT_EQ(v.fsName, FromUtf8(test::FixturePlatformName(e.fs)));
    EXPECT_EQ(v.label, FromUtf8(e.label));
    EXPECT_NE(v.fsKind, kFsUnknown);
    EXPECT_EQ(v.diskPath, FromUtf8(fs::absolute(disk).lexically_normal().string()));
    EXPECT_TRUE(v.volumePath.empty());
    EXPECT_NE(v.readerState.serial, 0u);
    EXPECT_EQ(v.bootSector[510], 0x55) << "the boot sector was copied";
    EXPECT_EQ(v.bootSector[511], 0xAA);
  }
}

TEST(ImageDiscovery, AFileSystemImageIsOneWholeVolume) {
  for (const char* name : {"ntfs", "fat16", "fat32", "exfat"}) {
    auto info = test::LoadInfo(std::string(name) + ".info");
    VolumeList volumes = ListImages({test::FixturePath(std::string(name) + ".img")});
    ASSERT_EQ(volumes.size(), 1u) << name;
    EXPECT_EQ(volumes[0].startSector, 0u);
    EXPECT_EQ(std::to_string(volumes[0].sectorCount), info["sectors"]) << name;
    EXPECT_EQ(volumes[0].fsName, FromUtf8(test::FixturePlatformName(info["fs"]))) << name;
    EXPECT_EQ(volumes[0].label, FromUtf8(info["label"])) << name;
    EXPECT_EQ(volumes[0].name, FromUtf8(std::string(name) + ".img"));
  }
}

TEST(ImageDiscovery, AnImageWithNeitherTableNorFileSystemHasNoVolumes) {
  test::TempDir dir;
  test::SectorImage(4096).WriteTo(dir.File("raw.img"));
  DiscoveryProblems problems;
  EXPECT_TRUE(ListImages({dir.File("raw.img")}, &problems).empty());
  EXPECT_TRUE(problems.empty());
}

TEST(ImageDiscovery, AnUnnamedPartitionIsListedWithUnknownKind) {
  test::TempDir dir;
  test::SectorImage image(8192);
  std::size_t at = mbr::kFirstEntry;
  image.Put8(0, at + mbr::kType, 0x07);
  image.Put32(0, at + mbr::kStartLba, 2048);
  image.Put32(0, at + mbr::kSectorCount, 4096);
  image.Put16(0, mbr::kSignature, 0xAA55);
  image.WriteTo(dir.File("damaged.img"));
  VolumeList volumes = ListImages({dir.File("damaged.img")});
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].fsKind, kFsUnknown);
  EXPECT_EQ(volumes[0].startSector, 2048u);
  EXPECT_TRUE(volumes[0].fsName.empty());
}

// An NTFS volume that libblkid cannot decide on (an ext2 superblock left in
// its boot area), with boot-code text where an MBR keeps its entries.
std::string AmbivalentNtfs(test::TempDir& dir) {
  const std::string vol = dir.File("vol.img");
  const std::string ext2 = dir.File("ext2.img");
  for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
           {"truncate", "-s", "16M", vol},
           {"mkfs.ntfs", "-F", "-f", "-q", "-s", "512", "-H", "255", "-S", "63", "-L", "AMBI", vol},
           {"truncate", "-s", "4M", ext2},
           {"mkfs.ext2", "-q", "-F", ext2},
           {"dd", "if=" + ext2, "of=" + vol, "bs=1024", "skip=1", "seek=1", "count=1", "conv=notrunc", "status=none"}}) {
    auto r = test::RunCommand(step);
    EXPECT_EQ(r.exitCode, 0) << step[0] << ": " << r.err;
  }
  const std::string text = "Non-system disk or disk error. Replace and press any key\r\n";
  std::fstream f(vol, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(mbr::kFirstEntry);
  f.write(text.data(), static_cast<std::streamsize>(text.size()));
  return vol;
}

TEST(ImageDiscovery, VolumesThePlatformCannotDecideOnAndTablesThatAreNone) {
  test::TempDir dir;
  const std::string vol = AmbivalentNtfs(dir);
  ASSERT_NE(test::RunCommand({"blkid", "-p", vol}).exitCode, 0) << "libblkid should be unsure";
  // The volume alone: a file system at sector 0, not a table of partitions
  // far beyond the image's end.
  DiscoveryProblems wholeProblems;
  VolumeList whole = ListImages({vol}, &wholeProblems);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].startSector, 0u);
  EXPECT_EQ(whole[0].fsKind, kFsNtfs);
  EXPECT_EQ(whole[0].label, u"AMBI");
  // Read as NTFS, with one warning that another file system was written over it.
  ASSERT_EQ(wholeProblems.size(), 1u);
  EXPECT_EQ(wholeProblems[0], u"vol.img：NTFS 所在的区域还写入过另一个文件系统（ext2），按 NTFS 读取");
  const test::CommandResult ls = test::RunCli({"ls", vol});
  EXPECT_EQ(ls.exitCode, 0) << ls.err;
  EXPECT_EQ(ls.err, "vol.img：NTFS 所在的区域还写入过另一个文件系统（ext2），按 NTFS 读取\n");

  // On a disk: slot 1 holds it at 40960 as type 0x27, slot 2 an empty
  // partition at 2048, slot 3 one that starts past the disk's end.
  test::SectorImage image(40960 + 32768);
  auto entry = [&](int slot, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
    std::size_t at = mbr::kFirstEntry + static_cast<std::size_t>(slot) * mbr::kEntrySize;
    image.Put8(0, at + mbr::kType, type);
    image.Put32(0, at + mbr::kStartLba, start);
    image.Put32(0, at + mbr::kSectorCount, count);
  };
  entry(0, 0x27, 40960, 32768);
  entry(1, 0x06, 2048, 8192);
  entry(2, 0x07, 900000, 8192);
  image.Put16(0, mbr::kSignature, 0xAA55);
  const std::string disk = dir.File("disk.img");
  image.WriteTo(disk);
  ASSERT_EQ(test::RunCommand({"dd", "if=" + vol, "of=" + disk, "bs=512", "seek=40960", "conv=notrunc", "status=none"})
                .exitCode, 0);
  DiscoveryProblems problems;
  VolumeList volumes = ListImages({disk}, &problems);
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes[0].name, u"disk.img#2") << "by start sector, not by slot";
  EXPECT_EQ(volumes[0].fsKind, kFsUnknown);
  EXPECT_EQ(volumes[0].partitionType, 0x06);
  EXPECT_EQ(volumes[1].name, u"disk.img#1");
  EXPECT_EQ(volumes[1].fsKind, kFsNtfs);
  EXPECT_EQ(volumes[1].partitionType, 0x27) << "the table's type byte";
  EXPECT_EQ(volumes[1].label, u"AMBI");
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(ToUtf8(problems[0]).find("disk.img#3"), std::string::npos) << ToUtf8(problems[0]);
  EXPECT_EQ(problems[1], u"disk.img#1：NTFS 所在的区域还写入过另一个文件系统（ext2），按 NTFS 读取");
}

TEST(ImageDiscovery, DisksAndVolumesPast2TiBAreListedWhole) {
  // A sparse disk one partition past 2^32 sectors: an MBR entry that starts
  // below 2^32 and ends beyond it.
  test::TempDir dir;
  const std::string big = dir.File("huge.img");
  test::SectorImage image(8192);
  image.Put8(0, mbr::kFirstEntry + mbr::kType, 0x07);
  image.Put32(0, mbr::kFirstEntry + mbr::kStartLba, 0xFFFFF000u);
  image.Put32(0, mbr::kFirstEntry + mbr::kSectorCount, 0x2000);
  image.Put16(0, mbr::kSignature, 0xAA55);
  image.WriteTo(big);
  const std::uint64_t sectors = (std::uint64_t{1} << 32) + 0x1000;
  fs::resize_file(big, sectors * 512);
  DiskList disks;
  DiscoveryProblems problems;
  DiskSelection selection;
  selection.systemDisks = false;
  selection.paths = {FromUtf8(big)};
  ASSERT_TRUE(EnumerateDisks(selection, disks, &problems));
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].sectorCount, sectors);
  EXPECT_EQ(disks[0].sizeText, u"2.00 TB");

  VolumeList volumes = ListImages({big}, &problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].startSector, 0xFFFFF000u);
  EXPECT_EQ(volumes[0].sectorCount, 0x2000u);
  EXPECT_EQ(volumes[0].diskSectors, sectors);
}

TEST(ImageDiscovery, AFileThatWillNotOpenIsToldAndNoDiskMeansAbort) {
  DiscoveryProblems problems;
  VolumeList volumes = ListImages({"/nonexistent/x.img"}, &problems);
  EXPECT_TRUE(volumes.empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(CurrentRunState(), RunState::kAbort) << "no disk at all: the listing failed";
}

// BitLocker volumes, alone and as partitions, are named so and never read:
// listing one says why, and the deep scan offers no volume of what the
// cover file system of BitLocker To Go (or a backup boot sector) shows.
TEST(ImageDiscovery, BitLockerVolumesAreNamedAndNotRead) {
  test::TempDir dir;
  const test::BitLockerImages images = test::MakeBitLockerImages(dir.path());
  const std::string message = "此分区已被 BitLocker 加密，请先在 Windows 中解锁后再恢复";
  for (const std::string& image : {images.toGo, images.fve}) {
    VolumeList volumes = ListImages({image});
    ASSERT_EQ(volumes.size(), 1u) << image;
    EXPECT_EQ(volumes[0].fsKind, kFsBitLocker) << image;
    EXPECT_EQ(volumes[0].fsName, u"BitLocker") << image;
    const test::CommandResult ls = test::RunCli({"ls", image});
    EXPECT_EQ(ls.exitCode, 1) << image;
    EXPECT_NE(ls.err.find(message), std::string::npos) << ls.err;
  }
  VolumeList onDisk = ListImages({images.disk});
  ASSERT_EQ(onDisk.size(), 2u);
  EXPECT_EQ(onDisk[0].partitionType, 0x0C) << "the table's type byte";
  for (const VolumeDescriptor& v : onDisk) EXPECT_EQ(v.fsName, u"BitLocker") << ToUtf8(v.name);
  const test::CommandResult volumes = test::RunCli({"volumes", "--json", images.disk});
  EXPECT_EQ(test::Lines(volumes.out).size(), 2u);
  for (const std::string& line : test::Lines(volumes.out)) {
    EXPECT_NE(line.find("\"fsName\":\"BitLocker\""), std::string::npos) << line;
  }
  const test::CommandResult scan = test::RunCli({"scan", "--json", images.disk});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  // (The hand-made NTFS keeps its MFT in the clear, unlike a real one: a
  // volume inferred from its records may still be offered.)
  for (const std::string& line : test::Lines(scan.out)) {
    for (const char* cover : {"\"fsKind\":10,", "\"fsKind\":11,", "ootSector\""}) {
      EXPECT_EQ(line.find(cover), std::string::npos) << "a cover volume was offered: " << line;
    }
  }
}

}  // namespace
}  // namespace kestrum
