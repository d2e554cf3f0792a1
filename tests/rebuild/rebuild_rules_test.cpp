// The rules the rebuild decides by, on findings made to measure: which
// partition entries count, how many directory pairs make a FAT volume, and
// that a volume of unknown size stays on its disk.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "base/text.h"
#include "disk/device.h"
#include "fs/fat/fat_export.h"
#include "fs/fat/fat_layout.h"
#include "fs/output_file.h"
#include "fs/tree/node_array.h"
#include "rebuild/fat_directory_volumes.h"
#include "rebuild/rebuild_volumes.h"
#include "rebuild/structure_volumes.h"
#include "scan/scan_support.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

constexpr Sector64 kExtendedStart = 198656;  // disk.img: the EBR of the first logical (FAT16 at 200704)

TEST(PartitionTableVolumes, AnEntryCountsFromSixteenThousandThreeHundredEightyFourSectors) {
  const std::string disk = test::FixturePath("disk.img");
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(FromUtf8(disk), device));
  struct Case {
    std::uint32_t sectors;
    std::uint8_t type;
    std::size_t volumes;
  };
  for (const Case& c : {Case{16383, 0x06, 0}, Case{16384, 0x06, 1}, Case{81920, 0x06, 1},
                        Case{81920, 0x05, 0}, Case{81920, 0x0F, 0}, Case{81920, 0x1D, 0}}) {
    SCOPED_TRACE(testing::Message() << c.sectors << " sectors, type " << int(c.type));
    ScanFinding ebr;
    ebr.category = kCategoryEbr;
    ebr.sector = kExtendedStart;
    std::vector<std::uint8_t> copy = test::ReadFileSectors(disk, kExtendedStart);
    // The logical's entry: 2048 sectors on, as sfdisk lays it out.
    ASSERT_EQ(ReadLe32(copy, 446 + 8), 2048u);
    WriteLe32(copy, 446 + 12, c.sectors);
    copy[446 + 4] = c.type;
    std::fill(copy.begin() + 462, copy.begin() + 510, std::uint8_t{0});
    ebr.bytes = FindingBytes(copy, {}, {});
    VolumeList rebuilt;
    VolumesFromPartitionTables({&ebr}, device, rebuilt);
    ASSERT_EQ(rebuilt.size(), c.volumes);
    if (c.volumes == 0) continue;
    EXPECT_EQ(rebuilt[0].startSector, kExtendedStart + 2048);
    EXPECT_EQ(rebuilt[0].sectorCount, c.sectors);
    EXPECT_EQ(rebuilt[0].fsKind, kFsFat16);
    EXPECT_EQ(rebuilt[0].entryClass, 2);
    EXPECT_EQ(rebuilt[0].label, u"DISKFAT16");
    // A second table naming the same start adds nothing.
    VolumesFromPartitionTables({&ebr}, device, rebuilt);
    EXPECT_EQ(rebuilt.size(), 1u);
  }
  CloseDevice(device);
}

// Directory sectors on one grid: cluster 2 at `start`, `k` sectors a
// cluster, a directory every other cluster, each holding "." and ".." and one
// file of its own; written into `image` and returned as the scan finds them.
std::vector<ScanFinding> GridDirectories(const std::string& image, std::uint32_t count, Sector64 start,
                                         std::uint32_t k) {
  std::vector<ScanFinding> out;
  std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
  for (std::uint32_t i = 0; i < count; ++i) {
    ScanFinding d;
    d.category = kCategoryFatDir;
    d.wordA = 3 + 2 * i;
    d.sector = start + (d.wordA - 2) * k;
    std::array<std::uint8_t, kSectorSize> sector{};
    auto entry = [&](std::size_t index, const std::string& name, std::uint8_t attribute, std::uint32_t cluster) {
      std::uint8_t* e = sector.data() + index * fatdir::kEntrySize;
      std::copy(name.begin(), name.end(), e);
      e[fatdir::kAttribute] = attribute;
      WriteLe16(std::span<std::uint8_t>(e, 32), fatdir::kClusterLow, static_cast<std::uint16_t>(cluster));
    };
    entry(0, ".          ", fatdir::kAttrDirectory, d.wordA);
    entry(1, "..         ", fatdir::kAttrDirectory, 0);
    entry(2, "F" + std::to_string(10 + i) + "     TXT", 0x20, 0);
    file.seekp(static_cast<std::streamoff>(std::uint64_t{d.sector} * kSectorSize));
    file.write(reinterpret_cast<const char*>(sector.data()), kSectorSize);
    out.push_back(std::move(d));
  }
  EXPECT_TRUE(file.good());
  return out;
}

// A FAT32 volume found by its boot sector whose data area starts at `dataStart`.
VolumeDescriptor Fat32VolumeWithDataAt(Sector64 dataStart) {
  VolumeDescriptor v;
  v.fsKind = kFsFat32;
  v.startSector = dataStart - 32 - 2 * 100;
  v.bootSector[fatboot::kSectorsPerCluster] = 8;
  WriteLe16(v.bootSector, fatboot::kReservedSectors, 32);
  v.bootSector[fatboot::kFatCount] = 2;
  WriteLe32(v.bootSector, fatboot::kFatSize32, 100);
  return v;
}

TEST(FatDirectoryVolumes, TenAgreeingPairsMakeAVolumeNineDoNot) {
  constexpr Sector64 kStart = 4096;
  constexpr std::uint32_t kSpc = 8;
  struct Case {
    std::uint32_t directories;  // one pair fewer than directories
    bool explainedByBootSector;
    std::size_t volumes;
  };
  for (const Case& c : {Case{10, false, 0}, Case{11, false, 1}, Case{11, true, 1}, Case{30, false, 1}}) {
    SCOPED_TRACE(testing::Message() << c.directories << " directories"
                                    << (c.explainedByBootSector ? ", data area of a known volume" : ""));
    test::TempDir dir;
    const std::string image = dir.File("grid.img");
    test::WriteWholeFile(image, std::string(std::size_t{kStart + 80 * kSpc} * kSectorSize, '\0'));
    std::vector<ScanFinding> findings = GridDirectories(image, c.directories, kStart, kSpc);
    DeviceHandle device;
    ASSERT_TRUE(OpenDevice(FromUtf8(image), device));
    VolumeList rebuilt;
    if (c.explainedByBootSector) rebuilt.push_back(Fat32VolumeWithDataAt(kStart));
    FatVolumesFromDirectories(findings, device, rebuilt);
    CloseDevice(device);
    ASSERT_EQ(rebuilt.size(), c.volumes);
    if (c.explainedByBootSector || c.volumes == 0) continue;
    const VolumeDescriptor& v = rebuilt[0];
    EXPECT_EQ(v.fsKind, kFsRebuiltFat);
    EXPECT_EQ(v.startSector, kStart);
    EXPECT_EQ(v.bootSector[fatboot::kSectorsPerCluster], kSpc);
    EXPECT_EQ(v.foundBy, FoundBy::kFatDirectories);
    // Every directory on the grid is read, the last one (in no pair of its
    // own as the first) too: their parent is lost, so their files stand in the root.
    std::vector<std::u16string> names;
    for (std::uint32_t child : ChildrenOf(v.readerState.nodes->nodes, kRootNodeId)) {
      names.emplace_back(v.readerState.nodes->nodes[child].name);
    }
    ASSERT_EQ(names.size(), c.directories + 1) << "files and LostFile";
    EXPECT_EQ(names.front(), u"F10.TXT");
    EXPECT_EQ(names[c.directories - 1], FromUtf8("F" + std::to_string(9 + c.directories) + ".TXT"));
  }
}

// A rebuilt volume has no size: the disk's end bounds every read of it.
TEST(RebuiltVolumeOfUnknownSize, ReadsStopAtTheDisksEndAndExportNothingFromBeyond) {
  test::TempDir dir;
  const std::string image = dir.File("small.img");
  constexpr Sector64 kSectors = 2048;
  test::WriteWholeFile(image, std::string(std::size_t{kSectors} * kSectorSize, 'x'));
  VolumeDescriptor v;
  v.fsKind = kFsRebuiltFat;
  v.diskPath = FromUtf8(image);
  v.startSector = 1000;
  v.sectorCount = 0xFFFFFFFF;
  v.bootSector[fatboot::kSectorsPerCluster] = 8;
  DeviceHandle device = OpenVolumeOnDisk(v);
  ASSERT_TRUE(device.IsOpen());
  EXPECT_EQ(device.sectorLimit, kSectors);
  CloseDevice(device);

  struct Case {
    std::uint32_t cluster;
    std::uint64_t size;
    bool copied;
  };
  // Cluster 2 at sector 1000; cluster 127 begins 48 sectors before the end.
  for (const Case& c : {Case{2, 4096, true}, Case{127, 48 * 512, true}, Case{127, 48 * 512 + 1, false},
                        Case{400, 512, false}}) {
    SCOPED_TRACE(testing::Message() << "cluster " << c.cluster << ", " << c.size << " bytes");
    FileNode node;
    node.name = u"f.bin";
    node.type = kFile;
    node.location = c.cluster;
    node.size = c.size;
    const std::string target = dir.File("out.bin");
    OutputFile out;
    ASSERT_TRUE(out.Create(target));
    test::PrepareRun();
    StatusMessage status;
    EXPECT_EQ(ExportContiguousClusters(v, node, out, status), c.copied);
    out.Close();
    EXPECT_EQ(std::filesystem::file_size(target), c.copied ? c.size : 0);
  }
}

}  // namespace
}  // namespace kestrum
