// Probing volumes the platform cannot name: boot sectors found at their
// backup places, the order of the tests, and what an adopted volume carries.

#include "discovery/probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/byte_order.h"
#include "base/text.h"
#include "discovery/discovery.h"
#include "platform/fault_injection.h"
#include "fs/fat/fat_reader.h"
#include "fs/tree/node_array.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using Sector = std::array<std::uint8_t, 512>;

Sector ReadSector(const std::string& path, std::uint64_t sector) {
  Sector s{};
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(sector * 512));
  in.read(reinterpret_cast<char*>(s.data()), 512);
  return s;
}

void ZeroSectors(const std::string& path, std::uint64_t first, std::uint64_t count) {
  std::fstream io(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string zeros(count * 512, '\0');
  io.seekp(static_cast<std::streamoff>(first * 512));
  io.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

class Probing : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  // A private copy of a fixture image, to damage.
  std::string Copy(const std::string& fixture) {
    std::string path = dir_.File(fixture);
    fs::copy_file(test::FixturePath(fixture), path, fs::copy_options::overwrite_existing);
    return path;
  }

  static VolumeList List(const std::string& path) {
    test::PrepareRun();
    VolumeListRequest request;
    request.selection.systemDisks = false;
    request.selection.paths = {FromUtf8(path)};
    VolumeListThread(request);
    return request.volumes;
  }

  test::TempDir dir_;
};

TEST_F(Probing, Fat32WithSectorZeroGoneIsListedFromItsBackupAndReadsInFull) {
  std::string image = Copy("fat32.img");
  Sector backup = ReadSector(image, 6);
  ZeroSectors(image, 0, 1);
  VolumeList volumes = List(image);
  ASSERT_EQ(volumes.size(), 1u) << "offered whole, as an image with a file system";
  VolumeDescriptor& v = volumes[0];
  EXPECT_EQ(v.fsKind, kFsFat32);
  EXPECT_EQ(v.fsName, u"FAT32");
  EXPECT_EQ(v.partitionType, 11);
  EXPECT_EQ(v.label, u"FAT32VOL") << "from the root directory's label entry";
  EXPECT_EQ(v.bootSector, backup);
  EXPECT_EQ(v.readerState.serial, ReadLe32(ByteView(backup), 0x43));
  EXPECT_EQ(v.sectorCount, std::stoull(test::LoadInfo("fat32.info").at("sectors")));

  ASSERT_TRUE(ReadFatVolume(v));
  std::size_t all = test::LoadManifest("fat32.manifest.tsv").size();
  std::size_t nodes = 0;
  const auto& array = v.readerState.nodes->nodes;
  for (std::uint32_t i = kRootNodeId + 1; i < array.size(); ++i) {
    if (IsUsedSlot(array[i], i) && array[i].id != kLostFileId) ++nodes;
  }
  EXPECT_EQ(nodes, all) << "every live and deleted file and folder of the manifest";
}

TEST_F(Probing, NtfsWithSectorZeroGoneIsListedFromItsLastSectorWithItsOwnLabel) {
  std::string image = Copy("ntfs.img");
  const std::uint64_t sectors = fs::file_size(image) / 512;
  Sector backup = ReadSector(image, sectors - 1);
  ZeroSectors(image, 0, 1);
  VolumeList volumes = List(image);
  ASSERT_EQ(volumes.size(), 1u);
  const VolumeDescriptor& v = volumes[0];
  EXPECT_EQ(v.fsKind, kFsNtfs);
  EXPECT_EQ(v.fsName, u"NTFS");
  EXPECT_EQ(v.partitionType, 7);
  EXPECT_EQ(v.label, u"NTFS测试") << "the $VOLUME_NAME of record 3";
  EXPECT_EQ(v.bootSector, backup);
  EXPECT_EQ(v.readerState.serial, ReadLe32(ByteView(backup), 0x48));
}

TEST_F(Probing, ExfatWithItsFirstTwelveSectorsUnreadable) {
  // Named by the platform, whose probe reads past the failing sectors: the
  // first sector will not read, and the backup boot region of the same kind keeps it.
  std::string image = Copy("exfat.img");
  Sector backup = ReadSector(image, 12);
  testing::InjectReadFault(image, 0, 12);
  VolumeList named = List(image);
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named[0].fsKind, kFsExfat);
  EXPECT_EQ(named[0].fsName, u"exFAT");
  EXPECT_EQ(named[0].bootSector, backup);

  // A RAW one: its boot sector zeroed as well, so nothing names it.
  testing::ClearReadFaults();
  ZeroSectors(image, 0, 1);
  testing::InjectReadFault(image, 0, 12);
  VolumeList raw = List(image);
  ASSERT_EQ(raw.size(), 1u);
  const VolumeDescriptor& v = raw[0];
  EXPECT_EQ(v.fsKind, kFsExfat);
  EXPECT_EQ(v.fsName, u"exFat");
  EXPECT_EQ(v.partitionType, 7);
  EXPECT_EQ(v.label, u"exFAT测试");
  EXPECT_EQ(v.bootSector, backup);
  EXPECT_EQ(v.readerState.serial, ReadLe32(ByteView(backup), 0x64));
}

TEST_F(Probing, ADamagedPartitionOfADiskImageIsAdopted) {
  std::string image = Copy("disk.img");
  auto p2 = test::LoadInfo("disk.p2.info");
  ZeroSectors(image, std::stoull(p2.at("start")), 1);
  VolumeList volumes = List(image);
  ASSERT_EQ(volumes.size(), 4u);
  const VolumeDescriptor& v = volumes[1];
  EXPECT_EQ(v.name, u"disk.img#2");
  EXPECT_EQ(v.fsKind, kFsFat32);
  EXPECT_EQ(v.fsName, u"FAT32") << "the probed name";
  EXPECT_EQ(v.label, FromUtf8(p2.at("label")));
  EXPECT_EQ(volumes[0].fsName, u"NTFS") << "the others as the platform names them";
  EXPECT_EQ(volumes[2].fsName, u"FAT");
}

TEST_F(Probing, ANamedVolumeWhoseBackupIsMissingLosesItsKind) {
  // FAT16 keeps no backup: with its first sector unreadable nothing else passes.
  std::string image = Copy("fat16.img");
  testing::InjectReadFault(image, 0, 1);
  VolumeList volumes = List(image);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].fsKind, kFsUnknown);
  EXPECT_EQ(volumes[0].partitionType, 0);
}

TEST_F(Probing, Fat16TestFirstAtSectorZeroFat32FirstAtSixAndReadFailuresMatchNothing) {
  // A boot sector that passes both FAT tests: FAT16 text at 0x36, FAT32 text at 0x52.
  Sector both = ReadSector(test::FixturePath("fat16.img"), 0);
  std::memcpy(both.data() + 0x52, "FAT32", 5);
  auto probe = [&](std::uint64_t at, FsKind& kind, std::uint64_t faultFirst = 0, std::uint64_t faults = 0) {
    test::SectorImage image(20000);
    image.PutBytes(at, 0, both.data(), both.size());
    std::string path = dir_.File("both.img");
    image.WriteTo(path);
    testing::ClearReadFaults();
    if (faults != 0) testing::InjectReadFault(path, faultFirst, faults);
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path), device));
    VolumeDescriptor v;
    v.sectorCount = 20000;
    bool found = ProbeBootSector(device, v, kind);
    CloseDevice(device);
    EXPECT_EQ(!found, kind == kFsUnknown);
    if (found) {
      EXPECT_EQ(v.bootSector, both);
    }
    return found;
  };
  FsKind kind;
  EXPECT_TRUE(probe(0, kind));
  EXPECT_EQ(kind, kFsFat16);
  EXPECT_TRUE(probe(6, kind));
  EXPECT_EQ(kind, kFsFat32);
  EXPECT_FALSE(probe(6, kind, 6, 1)) << "an unreadable backup is no match";
  EXPECT_FALSE(probe(3, kind)) << "sector 3 is no backup place";
  // The NTFS backup is looked for in the last sector only.
  Sector ntfs = ReadSector(test::FixturePath("ntfs.img"), 0);
  both = ntfs;
  EXPECT_TRUE(probe(19999, kind));
  EXPECT_EQ(kind, kFsNtfs);
  EXPECT_FALSE(probe(6, kind)) << "an NTFS boot sector at 6 is not FAT's backup";
}

}  // namespace
}  // namespace kestrum
