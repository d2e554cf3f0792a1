// The reader, the export and the sector tests on exFAT volumes damaged by
// others (the collection in tests/data/exfat-damaged), each damaged in one
// known way.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "base/text.h"
#include "fs/exfat/exfat_export.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/exfat/exfat_sectors.h"
#include "fs/exfat/exfat_tables.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"
#include "tree_listing.h"

namespace kestrum {
namespace {

std::unique_ptr<test::TempDir> gUnpacked;
std::map<std::string, std::string> gImages;  // archive name → image path

class DamagedVolumes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gUnpacked = std::make_unique<test::TempDir>();
    for (const std::string& path : test::UnpackTestData("exfat-damaged", gUnpacked->path())) {
      std::string rel = path.substr(gUnpacked->path().size() + 1);
      gImages[rel.substr(0, rel.find(".img/"))] = path;
    }
  }
  static void TearDownTestSuite() {
    gImages.clear();
    gUnpacked.reset();
  }
  void SetUp() override {
    test::PrepareRun();
    ASSERT_EQ(gImages.size(), 13u);
  }

  // A descriptor as the whole-file volume of an image.
  static VolumeDescriptor Describe(const std::string& path) {
    VolumeDescriptor v;
    v.diskPath = FromUtf8(path);
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    v.sectorCount = static_cast<std::uint64_t>(in.tellg()) / 512;
    in.seekg(0);
    in.read(reinterpret_cast<char*>(v.bootSector.data()), 512);
    v.fsKind = kFsExfat;
    v.partitionType = 7;
    return v;
  }

  static VolumeDescriptor Read(const std::string& name) {
    VolumeDescriptor v = Describe(gImages.at(name));
    EXPECT_TRUE(ReadExfatVolume(v)) << name;  // bounded in time by the suite's CTest TIMEOUT
    return v;
  }

  struct Copy {
    bool ok = false;
    std::uint64_t bytes = 0;
  };
  Copy Export(const VolumeDescriptor& v, const FileNode& node, bool rebuilt = false) {
    std::string path = dir_.File("out.bin");
    OutputFile out;
    EXPECT_TRUE(out.Create(path));
    StatusMessage status;
    status.kind = StatusKind::kExport;
    Copy c;
    c.ok = rebuilt ? ExportRebuiltExfatFile(v, node, out, status) : ExportExfatFile(v, node, out, status);
    out.Close();
    c.bytes = test::ReadWholeFile(path).size();
    EXPECT_LE(c.bytes, node.size) << ToUtf8(node.name) << " never grows past its size";
    if (c.ok) {
      EXPECT_EQ(c.bytes, node.size) << ToUtf8(node.name);
    }
    EXPECT_EQ(status.exportStatus.bytesExported, c.bytes);
    return c;
  }

  static const FileNode& At(const VolumeDescriptor& v, const std::string& path) {
    auto tree = test::TreePaths(v, kViewExistingFiles);
    auto deleted = test::TreePaths(v, kViewDeletedFiles);
    tree.insert(deleted.begin(), deleted.end());
    static const FileNode missing;
    if (!tree.count(path)) {
      ADD_FAILURE() << path << " not listed";
      return missing;
    }
    return v.readerState.nodes->nodes[tree[path]];
  }

  test::TempDir dir_;
};

TEST_F(DamagedVolumes, EveryVolumeIsReadAndEveryFileCopiedWithinItsBounds) {
  for (const auto& [name, path] : gImages) {
    SCOPED_TRACE(name);
    VolumeDescriptor v = Read(name);
    ExfatGeometry g = ExfatGeometryOf(v);
    VolumeDescriptor rebuilt = v;  // the same heap seen as a volume rebuilt from findings
    rebuilt.fsKind = kFsRebuiltExfat;
    rebuilt.partitionType = 0;
    const auto& nodes = v.readerState.nodes->nodes;
    ASSERT_EQ(nodes.back().id, kLostFileId);
    for (std::uint32_t k = kRootNodeId + 1; k + 1 < nodes.size(); ++k) {
      const FileNode& n = nodes[k];
      if (!n.IsFile()) continue;
      auto clusters = ContentClusters(v, n.location, n.size, n.noFatChain != 0);
      EXPECT_LE(clusters.size(), (n.size + g.ClusterBytes() - 1) / g.ClusterBytes());
      EXPECT_LE(clusters.size(), g.clusterCount);
      std::set<std::uint32_t> distinct(clusters.begin(), clusters.end());
      EXPECT_EQ(distinct.size(), clusters.size()) << ToUtf8(n.name);
      for (std::uint32_t c : clusters) EXPECT_TRUE(g.IsDataCluster(c)) << ToUtf8(n.name) << " cluster " << c;
      if (n.size == 0) continue;
      Export(v, n);
      Export(rebuilt, n, true);
    }
  }
}

// What the boot check and the sector tests of the deep scan say of each
// image: whether its boot sector leads to a plausible volume, and how many of
// its sectors read as an exFAT root and as the start of an entry set.
struct SectorOutcome {
  bool bootCheck;
  std::size_t rootSectors;
  std::size_t entrySetSectors;
};
const std::map<std::string, SectorOutcome> kSectorOutcomes = {
    {"2tb_disk", {true, 0, 0}},  // its root lies past the first 64 MiB read here
    {"bad_bitmap", {true, 1, 2}},
    {"bad_dentries", {false, 0, 8}},
    {"bad_file_size", {true, 1, 2}},
    {"bad_first_clu", {true, 1, 1}},
    {"bad_num_chain", {true, 1, 2}},
    {"bad_root", {true, 1, 21}},
    {"bs_bad_csum", {false, 0, 0}},
    {"de_bad_csum", {false, 0, 1}},
    {"duplicate_clu", {true, 1, 2}},
    {"file_invalid_clus", {false, 0, 2}},
    {"large_file_invalid_clus", {false, 0, 0}},
    {"loop_chain", {true, 1, 2}},
};

TEST_F(DamagedVolumes, EverySectorGoesThroughTheSectorTestsAndTheBootChecks) {
  ASSERT_EQ(kSectorOutcomes.size(), gImages.size());
  for (const auto& [name, path] : gImages) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(kSectorOutcomes.count(name));
    const SectorOutcome& expected = kSectorOutcomes.at(name);
    VolumeDescriptor v = Describe(path);
    DeviceHandle device;
    ASSERT_TRUE(OpenDevice(FromUtf8(path), device));
    // The 2 TB volume is sparse: its first 64 MiB stand for the rest.
    std::uint64_t sectors = std::min<std::uint64_t>(QueryDeviceBytes(device.fd) / 512, 131072);
    std::vector<std::uint8_t> block(2048 * 512);
    std::size_t roots = 0;
    std::size_t entrySets = 0;
    for (std::uint64_t s = 0; s < sectors; s += 2048) {
      auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(2048, sectors - s));
      ReadSectorsMapped(device, block, s, count, nullptr);
      for (std::uint32_t i = 0; i < count; ++i) {
        ByteView sector(block.data() + std::size_t{i} * 512, 512);
        roots += IsExfatRootSector(sector);
        entrySets += IsEntrySetSector(0, sector);
        // The other entry positions a set may start at only need to survive.
        for (unsigned first = 4; first < 17; first += 4) IsEntrySetSector(first, sector);
      }
    }
    VolumeDescriptor made;
    MakeExfatDescriptor(made, device, v.bootSector, 0);
    EXPECT_EQ(made.fsKind, kFsExfat);
    EXPECT_EQ(CheckExfatAt(0, v.bootSector, device), expected.bootCheck);
    EXPECT_EQ(roots, expected.rootSectors);
    EXPECT_EQ(entrySets, expected.entrySetSectors);
    CloseDevice(device);
  }
}

TEST_F(DamagedVolumes, ATwoTerabyteVolumeIsReadBeyondThe32BitSectorRange) {
  VolumeDescriptor v = Read("2tb_disk");
  ExfatGeometry g = ExfatGeometryOf(v);
  EXPECT_GT(v.sectorCount, 0xFFFFFFFFu) << "the (sparse) image's whole size";
  EXPECT_GT(g.ClusterSector(g.rootCluster), 0xFFFFFFFFull) << "the root lies past 2^32 sectors";
  const FileNode& hello = At(v, "hello_02");
  EXPECT_EQ(hello.size, 393216u);
  Copy c = Export(v, hello);
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.bytes, 393216u);
  EXPECT_EQ(At(v, "hello_01").size, 0u);
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(v.diskPath, device));
  VolumeDescriptor made;
  MakeExfatDescriptor(made, device, v.bootSector, 0);
  EXPECT_EQ(made.sectorCount, ReadLe64(v.bootSector, 0x48)) << "the size the boot sector claims, whole";
  EXPECT_GT(made.sectorCount, 0xFFFFFFFFu);
  CloseDevice(device);
}

TEST_F(DamagedVolumes, LoopingAndSharedChainsEndAndTheHealthyFilesCopy) {
  VolumeDescriptor loop = Read("loop_chain");
  const FileNode& looping = At(loop, "dir_02/bad_child_02");  // 24 → 25 → 24
  EXPECT_EQ(ContentClusters(loop, looping.location, looping.size, false), (std::vector<std::uint32_t>{24, 25}));
  Copy c = Export(loop, looping);
  EXPECT_FALSE(c.ok) << "a chain that loops back gives less than the file";
  EXPECT_EQ(c.bytes, 2u * 4096);
  for (const char* healthy : {"child_01", "child_02", "child_03", "dir_01/child_04", "dir_02/child_07"}) {
    Copy h = Export(loop, At(loop, healthy));
    EXPECT_TRUE(h.ok) << healthy;
    EXPECT_EQ(h.bytes, 8192u) << healthy;
  }

  VolumeDescriptor dup = Read("duplicate_clu");
  const FileNode& a = At(dup, "dir_01/bad_child_01");
  const FileNode& b = At(dup, "dir_02/bad_child_02");
  auto ca = ContentClusters(dup, a.location, a.size, false);
  auto cb = ContentClusters(dup, b.location, b.size, false);
  EXPECT_EQ(ca, (std::vector<std::uint32_t>{16, 17, 18, 19}));
  EXPECT_EQ(cb, (std::vector<std::uint32_t>{24, 25, 26, 19})) << "the shared cluster is copied into both";
  EXPECT_TRUE(Export(dup, a).ok);
  EXPECT_TRUE(Export(dup, b).ok);

  // A free entry inside a chain goes on in the next cluster.
  VolumeDescriptor inv = Read("file_invalid_clus");
  const FileNode& f = At(inv, "file_invalid_clus");
  EXPECT_EQ(ContentClusters(inv, f.location, f.size, false),
            (std::vector<std::uint32_t>{7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
  EXPECT_EQ(At(inv, "zero_file_bad_start").size, 0u);
  EXPECT_TRUE(Export(inv, At(inv, "larger_file")).ok) << "a no-FAT-chain file of three clusters";
}

TEST_F(DamagedVolumes, BadFirstClustersAndShortChainsCopyWhatThereIs) {
  VolumeDescriptor v = Read("bad_first_clu");
  const FileNode& bad = At(v, "dir_01/bad_child_02");
  EXPECT_FALSE(ExfatGeometryOf(v).IsDataCluster(bad.location));
  Copy c = Export(v, bad);
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.bytes, 0u);
  EXPECT_FALSE(Export(v, bad, true).ok) << "nor from a rebuilt volume's view of it";
  EXPECT_TRUE(Export(v, At(v, "dir_01/child_03")).ok);

  VolumeDescriptor s = Read("bad_file_size");
  const FileNode& longer = At(s, "dir_01/bad_child_01");  // 16 KiB claimed, 2 clusters chained
  EXPECT_EQ(longer.size, 16384u);
  c = Export(s, longer);
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.bytes, 8192u) << "the two clusters the chain gives are kept";

  VolumeDescriptor big = Read("large_file_invalid_clus");
  const FileNode& huge = At(big, "file_192m");
  auto clusters = ContentClusters(big, huge.location, huge.size, false);
  EXPECT_EQ(clusters.size(), 49152u);
  EXPECT_LE(clusters.back(), ExfatGeometryOf(big).LastCluster());
}

TEST_F(DamagedVolumes, DamagedEntriesAndRootsStillListTheirHealthyParts) {
  VolumeDescriptor d = Read("bad_dentries");
  auto tree = test::TreePaths(d, kViewExistingFiles);
  for (const char* path : {"fe_type/file_01", "fe_type/file_03", "se_type/file_03", "se_name_len/file_03",
                           "fe_csum/file_03", "ne_inv_chars/file_03"}) {
    EXPECT_TRUE(tree.count(path)) << path;
  }
  EXPECT_TRUE(tree.count("ne_inv_chars/fil\"_02_bad")) << "a name the file system forbids is still a name";

  VolumeDescriptor r = Read("bad_root");
  tree = test::TreePaths(r, kViewExistingFiles);
  std::size_t temps = 0;
  for (const auto& [path, k] : tree) temps += path.rfind("temp", 0) == 0;
  EXPECT_GE(temps, 49u);
  EXPECT_TRUE(tree.count("dir_02/child_07"));

  VolumeDescriptor c = Read("de_bad_csum");
  tree = test::TreePaths(c, kViewExistingFiles);
  EXPECT_TRUE(tree.count("l0_dir_00/l1_file_03")) << "set checksums are not what the reader goes by";

  VolumeDescriptor b = Read("bad_bitmap");
  EXPECT_TRUE(b.readerState.bitmap);
  EXPECT_TRUE(Export(b, At(b, "dir_02/child_06")).ok);

  VolumeDescriptor e = Read("bs_bad_csum");
  EXPECT_EQ(test::TreePaths(e, kViewExistingFiles).size(), 1u) << "an empty volume: LostFile alone";
}

}  // namespace
}  // namespace kestrum
