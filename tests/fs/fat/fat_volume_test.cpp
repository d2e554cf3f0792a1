// The reader and the copy routines on volumes made by mkfs.vfat and mtools:
// the fixture images (standalone and as partitions of disk.img) against
// their manifests and against The Sleuth Kit, and a small FAT16 volume made
// here.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fat_test_support.h"
#include "fs/fat/fat_export.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_reader.h"
#include "fs/fat/fat_table.h"
#include "fs/tree/node_array.h"
#include "support/fixtures.h"
#include "support/fls.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::FatFixture;

// The first cluster of every node's chain, in order, as the FAT has it.
std::vector<std::uint32_t> ChainOf(const VolumeDescriptor& v, std::uint32_t first) {
  FatGeometry g = FatGeometryOf(v);
  std::vector<std::uint32_t> chain;
  for (std::uint32_t c = first; g.IsValidCluster(c) && !IsEndOfChain(g.fat32, c) && chain.size() <= g.clusterCount;
       c = NextCluster(CachedFat(v), g.fat32, c)) {
    chain.push_back(c);
  }
  return chain;
}

bool IsContiguous(const std::vector<std::uint32_t>& chain) {
  for (std::size_t i = 1; i < chain.size(); ++i) {
    if (chain[i] != chain[i - 1] + 1) return false;
  }
  return !chain.empty();
}

// Where a deleted item of the manifest is listed: mtools writes these 8.3
// names without long-name entries, so each deleted component lost its
// first letter to the deleted mark and shows "_" instead.
std::string DeletedPath(const std::vector<test::ManifestEntry>& manifest, const std::string& path) {
  std::string shown;
  std::size_t from = 0;
  while (from <= path.size()) {
    std::size_t slash = std::min(path.find('/', from), path.size());
    std::string component = path.substr(from, slash - from);
    const std::string prefix = path.substr(0, slash);
    for (const auto& e : manifest) {
      if (e.deleted && e.path == prefix) component[0] = '_';
    }
    shown += (shown.empty() ? "" : "/") + component;
    from = slash + 1;
  }
  return shown;
}

class FixtureVolume : public ::testing::TestWithParam<FatFixture> {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
    volume_ = test::FixtureDescriptor(GetParam());
    ASSERT_TRUE(ReadFatVolume(volume_)) << GetParam().image;
    tree_ = test::ListTree(volume_);
    manifest_ = test::LoadManifest(GetParam().manifest);
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  const FileNode& Node(const std::string& path) { return NodesOf(volume_).nodes.at(tree_.at(path).index); }

  // Copies a node; false and the copy's result when it failed.
  bool Copy(const FileNode& node, std::string& sha, StatusMessage& status,
            bool (*routine)(const VolumeDescriptor&, const FileNode&, OutputFile&, StatusMessage&),
            const VolumeDescriptor& volume, std::uint64_t* size = nullptr) {
    OutputFile out;
    EXPECT_TRUE(out.Create(dir_.File("copy.bin")));
    bool ok = routine(volume, node, out, status);
    out.Close();
    sha = test::Sha256OfFile(dir_.File("copy.bin"));
    if (size) *size = std::filesystem::file_size(dir_.File("copy.bin"));
    return ok;
  }

  VolumeDescriptor volume_;
  std::map<std::string, test::ListedNode> tree_;
  std::vector<test::ManifestEntry> manifest_;
  test::TempDir dir_;
};

TEST_P(FixtureVolume, ListsExactlyTheLiveFilesAndFoldersOfTheManifest) {
  std::set<std::string> expected;
  std::size_t files = 0;
  for (const auto& e : manifest_) {
    if (e.deleted) {
      auto it = tree_.find(DeletedPath(manifest_, e.path));
      ASSERT_NE(it, tree_.end()) << "deleted entry not listed: " << DeletedPath(manifest_, e.path);
      EXPECT_EQ(it->second.type, e.folder ? kDeletedFolder : kDeletedFile) << e.path;
      if (!e.folder) {
        EXPECT_EQ(it->second.size, e.size) << e.path;
      }
      continue;
    }
    expected.insert(e.path);
    auto it = tree_.find(e.path);
    if (it == tree_.end()) {
      ADD_FAILURE() << "missing: " << e.path;
      continue;
    }
    EXPECT_EQ(it->second.type, e.folder ? kFolder : kFile) << e.path;
    EXPECT_EQ(it->second.mtime, e.mtime) << e.path;  // folders too: mtools keeps their times
    if (!e.folder) {
      ++files;
      EXPECT_EQ(it->second.size, e.size) << e.path;
    }
  }
  std::set<std::string> listed;
  for (const auto& [path, node] : tree_) {
    if (path != "LostFile" && (node.type == kFile || node.type == kFolder)) listed.insert(path);
  }
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(test::ChildNames(volume_, static_cast<std::uint32_t>(NodesOf(volume_).nodes.size() - 1)).empty())
      << "nothing is lost on an intact volume";
  EXPECT_GT(files, 1200u);
  // Names of every kind survived: long, Chinese, 8.3 in lower case, deep.
  for (const char* path : {"A long file name with spaces and more than forty characters.dat",
                           "docs/报告/季度总结.txt", "docs/readme.txt", "README.TXT", "empty dir",
                           "deep/l1/l2/l3/l4/l5/l6/l7/leaf.txt", "many/f1199.txt"}) {
    EXPECT_TRUE(tree_.count(path)) << path;
  }
  StatusMessage last;
  ASSERT_TRUE(TakeStatus(last));
  EXPECT_EQ(last.kind, StatusKind::kParse);
  EXPECT_EQ(last.parse.files, files);
  EXPECT_EQ(last.parse.folders, expected.size() - files);
}

TEST_P(FixtureVolume, TheLabelIsTheOneMkfsWrote) {
  DeviceHandle device = OpenVolumeOnDisk(volume_);
  ASSERT_TRUE(device.IsOpen());
  EXPECT_TRUE(ReadFatLabel(volume_, device));
  CloseDevice(device);
  EXPECT_EQ(ToUtf8(volume_.label), test::LoadInfo(GetParam().info).at("label"));
}

TEST_P(FixtureVolume, ExportGivesBackEveryLiveFileByteForByte) {
  StatusMessage status;
  std::uint64_t bytes = 0;
  int copied = 0;
  for (const auto& e : manifest_) {
    if (e.deleted || e.folder) continue;
    std::string sha;
    std::uint64_t before = status.exportStatus.bytesExported;
    status.exportStatus.currentFileCopied = 0;
    EXPECT_TRUE(Copy(Node(e.path), sha, status, ExportFatFile, volume_)) << e.path;
    EXPECT_EQ(sha, e.sha256) << e.path;
    EXPECT_EQ(status.exportStatus.currentFileCopied, e.size) << e.path;
    EXPECT_EQ(status.exportStatus.bytesExported - before, e.size) << e.path;
    bytes += e.size;
    ++copied;
  }
  EXPECT_EQ(status.exportStatus.bytesExported, bytes);
  EXPECT_GT(copied, 1200);
  // frag.bin really is in pieces, and came back whole.
  auto chain = ChainOf(volume_, Node("frag.bin").location);
  EXPECT_FALSE(IsContiguous(chain)) << "frag.bin was meant to be fragmented";
}

TEST_P(FixtureVolume, AReadFaultInsideAFileIsZerosInItsCopy) {
  const FileNode& node = Node("sizes/65536.bin");
  auto chain = ChainOf(volume_, node.location);
  ASSERT_GE(chain.size(), 2u);
  FatGeometry g = FatGeometryOf(volume_);
  testing::InjectReadFault(ToUtf8(volume_.diskPath), g.ClusterSector(chain[1]), 1);
  std::string sha;
  StatusMessage status;
  EXPECT_TRUE(Copy(node, sha, status, ExportFatFile, volume_));
  const std::string damaged = test::ReadWholeFile(dir_.File("copy.bin"));
  EXPECT_EQ(status.exportStatus.currentFileCopied, node.size);
  // The failing read was the last thing posted, naming its sector.
  StatusMessage m;
  ASSERT_TRUE(TakeStatus(m));
  EXPECT_EQ(m.kind, StatusKind::kReadError);
  EXPECT_EQ(m.readError.sector, g.ClusterSector(chain[1]));
  testing::ClearReadFaults();
  ASSERT_TRUE(Copy(node, sha, status, ExportFatFile, volume_));
  std::string expected = test::ReadWholeFile(dir_.File("copy.bin"));
  std::fill_n(expected.begin() + g.ClusterBytes(), 512, '\0');
  EXPECT_EQ(damaged, expected);
}

TEST_P(FixtureVolume, ContiguousClustersOfARebuiltVolume) {
  FatGeometry g = FatGeometryOf(volume_);
  // A volume as the scan rebuilds it: start = cluster 2, only the cluster size known.
  VolumeDescriptor rebuilt;
  rebuilt.fsKind = kFsRebuiltFat;
  rebuilt.diskPath = volume_.diskPath;
  rebuilt.startSector = static_cast<Sector64>(g.firstDataSector);
  rebuilt.sectorCount = volume_.sectorCount;
  rebuilt.bootSector[13] = static_cast<std::uint8_t>(g.sectorsPerCluster);
  int checked = 0;
  for (const char* path : {"sizes/1048577.bin", "sizes/5242880.bin", "docs/报告/数据 2026.bin", "sizes/1.bin",
                           "empty.txt"}) {
    const FileNode& node = Node(path);
    if (node.size != 0) {
      ASSERT_TRUE(IsContiguous(ChainOf(volume_, node.location))) << path << " is fragmented";
    }
    std::string sha;
    StatusMessage status;
    EXPECT_TRUE(Copy(node, sha, status, ExportContiguousClusters, rebuilt)) << path;
    for (const auto& e : manifest_) {
      if (e.path == path) {
        EXPECT_EQ(sha, e.sha256) << path;
      }
    }
    EXPECT_EQ(status.exportStatus.currentFileCopied, node.size);
    ++checked;
  }
  EXPECT_EQ(checked, 5);
  // A fault in the second MiB: that sector is zeros, the rest as it was.
  const FileNode& big = Node("sizes/5242880.bin");
  std::string sha;
  StatusMessage status;
  ASSERT_TRUE(Copy(big, sha, status, ExportContiguousClusters, rebuilt));
  std::string expected = test::ReadWholeFile(dir_.File("copy.bin"));
  std::fill_n(expected.begin() + (2048 + 7) * 512, 512, '\0');
  testing::InjectReadFault(ToUtf8(volume_.diskPath), g.ClusterSector(big.location) + 2048 + 7, 1);
  status = StatusMessage{};
  EXPECT_TRUE(Copy(big, sha, status, ExportContiguousClusters, rebuilt));
  EXPECT_EQ(test::ReadWholeFile(dir_.File("copy.bin")), expected);
  EXPECT_EQ(status.exportStatus.currentFileCopied, big.size);
}

// The live or the deleted files and folders fls lists, without FAT's own
// virtual files.
std::set<std::string> SleuthKitEntries(const std::string& image, Sector64 start, bool deleted) {
  std::set<std::string> entries;
  for (const test::FlsEntry& e : test::Fls(image, start)) {
    if (e.deleted != deleted || e.Virtual() || e.path.find("(Volume Label Entry)") != std::string::npos) continue;
    if (e.nameType != e.metaType || (e.nameType != 'r' && e.nameType != 'd')) continue;
    const bool added = entries.insert((e.nameType == 'd' ? "d " : "f ") + e.path).second;
    EXPECT_TRUE(added || deleted) << "fls lists a live entry twice: " << e.path;
  }
  return entries;
}

TEST_P(FixtureVolume, SleuthKitSeesTheSameLiveAndDeletedEntries) {
  std::set<std::string> live, deleted;
  for (const auto& [path, node] : tree_) {
    if (path == "LostFile") continue;
    const bool folder = node.type == kFolder || node.type == kDeletedFolder;
    (node.type == kFile || node.type == kFolder ? live : deleted).insert((folder ? "d " : "f ") + path);
  }
  EXPECT_EQ(live, SleuthKitEntries(ToUtf8(volume_.diskPath), volume_.startSector, false));
  EXPECT_EQ(deleted, SleuthKitEntries(ToUtf8(volume_.diskPath), volume_.startSector, true));
}

// Deleted files left alone since (the fixture deletes them last) come back
// whole by the free-cluster rule, and say so.
TEST_P(FixtureVolume, DeletedFilesExportByteForByteAndAreGood) {
  StatusMessage status;
  int copied = 0;
  for (const auto& e : manifest_) {
    if (!e.deleted || e.folder) continue;
    const FileNode& node = Node(DeletedPath(manifest_, e.path));
    EXPECT_EQ(node.recovery, kRecoveryGood) << e.path;
    std::string sha;
    EXPECT_TRUE(Copy(node, sha, status, ExportFatFile, volume_)) << e.path;
    EXPECT_EQ(sha, e.sha256) << e.path;
    ++copied;
  }
  EXPECT_GE(copied, 4);
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureVolume, ::testing::ValuesIn(test::FatFixtures()),
                         [](const auto& info) { return info.param.label; });

// Small volumes made here with mkfs.vfat and mtools. Both keep their size in
// the 16-bit total at offset 19; the floppy has fewer than 4085 clusters, so
// its FAT entries are 12 bits wide. inner.bin is written into the hole a
// deleted file left, so its chain jumps over a live file.
struct SmallFat {
  const char* label;
  const char* bits;
  const char* size;
  std::uint32_t sectors;
  FatWidth width;
};

class SmallFatVolume : public ::testing::TestWithParam<SmallFat> {};

TEST_P(SmallFatVolume, IsReadAndCopiedWithTheSixteenBitTotal) {
  const SmallFat& p = GetParam();
  test::PrepareRun();
  test::TempDir dir;
  const std::string image = dir.File("small.img");
  std::filesystem::create_directories(dir.File("src/sub"));
  test::WriteWholeFile(dir.File("src/hello.txt"), "hello, small volume\n");
  test::WriteWholeFile(dir.File("src/Mixed Case Name.dat"), std::string(3000, 'x') + "end");
  test::WriteWholeFile(dir.File("src/hole.bin"), std::string(2048, 'h'));
  std::string inner;
  for (int i = 0; i < 9000; ++i) inner += static_cast<char>('a' + i % 26);
  test::WriteWholeFile(dir.File("src/sub/inner.bin"), inner);
  for (const auto& [file, when] : std::vector<std::pair<std::string, std::string>>{
           {"src/hello.txt", "@1600000000"}, {"src/Mixed Case Name.dat", "@1600000002"},
           {"src/sub/inner.bin", "@1600000004"}}) {
    ASSERT_EQ(test::RunCommand({"touch", "-d", when, dir.File(file)}).exitCode, 0);
  }
  ASSERT_EQ(test::RunCommand({"truncate", "-s", p.size, image}).exitCode, 0);
  auto mkfs = test::RunCommand({"mkfs.vfat", "-F", p.bits, "-s", "1", "-n", p.label, image});
  ASSERT_EQ(mkfs.exitCode, 0) << mkfs.err;
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  // split.bin goes into two holes around keep.txt (emptied files free their
  // clusters and keep their entries), then is deleted with a Chinese-named file.
  test::WriteWholeFile(dir.File("src/a.bin"), std::string(1024, 'a'));
  test::WriteWholeFile(dir.File("src/keep.txt"), "kept between the holes");
  test::WriteWholeFile(dir.File("src/b.bin"), std::string(1024, 'b'));
  std::filesystem::create_directories(dir.File("empty"));
  test::WriteWholeFile(dir.File("empty/a.bin"), "");
  test::WriteWholeFile(dir.File("empty/b.bin"), "");
  std::string split;
  for (int i = 0; i < 1500; ++i) split += static_cast<char>('A' + i % 23);
  test::WriteWholeFile(dir.File("src/split.bin"), split);
  test::WriteWholeFile(dir.File("src/数据报告.txt"), "第一季度的数据");
  for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
           {"mcopy", "-m", "-i", image, dir.File("src/hole.bin"), dir.File("src/hello.txt"), "::"},
           {"mmd", "-i", image, "::sub"},
           {"mdel", "-i", image, "::hole.bin"},
           {"mcopy", "-m", "-i", image, dir.File("src/sub/inner.bin"), "::sub"},
           {"mcopy", "-m", "-i", image, dir.File("src/Mixed Case Name.dat"), "::"},
           {"mcopy", "-m", "-i", image, dir.File("src/a.bin"), "::sub/old.dat"},
           {"mdel", "-i", image, "::sub/old.dat"},
           {"mcopy", "-m", "-i", image, dir.File("src/b.bin"), "::new.dat"},
           {"mcopy", "-m", "-i", image, dir.File("src/a.bin"), dir.File("src/keep.txt"), dir.File("src/b.bin"),
            dir.File("src/数据报告.txt"), "::"},
           {"mcopy", "-o", "-m", "-i", image, dir.File("empty/a.bin"), dir.File("empty/b.bin"), "::"},
           {"mcopy", "-m", "-i", image, dir.File("src/split.bin"), "::"},
           {"mdel", "-i", image, "::split.bin", "::数据报告.txt"}}) {
    auto result = test::RunCommand(step);
    ASSERT_EQ(result.exitCode, 0) << step[0] << ": " << result.err;
  }

  VolumeDescriptor v;
  v.diskPath = FromUtf8(image);
  v.sectorCount = p.sectors;
  v.fsKind = kFsFat16;
  v.partitionType = 6;
  std::string boot = test::ReadWholeFile(image).substr(0, 512);
  std::copy(boot.begin(), boot.end(), v.bootSector.begin());
  ASSERT_EQ(ReadLe32(v.bootSector, 32), 0u) << "mkfs should have used the 16-bit total";
  ASSERT_EQ(ReadLe16(v.bootSector, 19), p.sectors);
  EXPECT_EQ(FatGeometryOf(v).width, p.width);

  ASSERT_TRUE(ReadFatVolume(v));
  auto tree = test::ListTree(v);
  std::vector<std::string> paths;
  for (const auto& [path, n] : tree) paths.push_back(path);
  // mtools gave the deleted 8.3 names no long-name entries: "_" stands for
  // their lost first letter. Its directory slot was reused, hole.bin is gone.
  EXPECT_EQ(paths, (std::vector<std::string>{"LostFile", "Mixed Case Name.dat", "_plit.bin", "a.bin", "b.bin",
                                              "hello.txt", "keep.txt", "new.dat", "sub", "sub/_ld.dat", "sub/inner.bin",
                                              "数据报告.txt"}));
  EXPECT_EQ(tree["sub/_ld.dat"].type, kDeletedFile);
  EXPECT_EQ(NodesOf(v).nodes[tree["sub/_ld.dat"].index].recovery, kRecoveryOverwritten) << "new.dat took its clusters";
  for (const char* path : {"_plit.bin", "数据报告.txt"}) {
    EXPECT_EQ(tree[path].type, kDeletedFile) << path;
    EXPECT_EQ(NodesOf(v).nodes[tree[path].index].recovery, kRecoveryGood) << path;
  }
  EXPECT_EQ(tree["hello.txt"].mtime, 1600000000);
  EXPECT_EQ(tree["sub/inner.bin"].mtime, 1600000004);
  EXPECT_EQ(tree["sub/inner.bin"].size, 9000u);
  EXPECT_FALSE(IsContiguous(ChainOf(v, tree["sub/inner.bin"].location))) << "inner.bin should jump over hello.txt";
  for (const auto& [path, want] : std::vector<std::pair<std::string, std::string>>{
           {"hello.txt", "src/hello.txt"}, {"Mixed Case Name.dat", "src/Mixed Case Name.dat"},
           {"sub/inner.bin", "src/sub/inner.bin"}, {"_plit.bin", "src/split.bin"}, {"数据报告.txt", "src/数据报告.txt"}}) {
    OutputFile out;
    ASSERT_TRUE(out.Create(dir.File("out.bin")));
    StatusMessage status;
    EXPECT_TRUE(ExportFatFile(v, NodesOf(v).nodes[tree[path].index], out, status)) << path;
    out.Close();
    EXPECT_EQ(test::ReadWholeFile(dir.File("out.bin")), test::ReadWholeFile(dir.File(want))) << path;
  }
  DeviceHandle device = OpenVolumeOnDisk(v);
  EXPECT_TRUE(ReadFatLabel(v, device));
  CloseDevice(device);
  EXPECT_EQ(ToUtf8(v.label), p.label);
  std::set<std::string> live, deleted;
  for (const auto& [path, node] : tree) {
    if (path == "LostFile") continue;
    const bool folder = node.type == kFolder || node.type == kDeletedFolder;
    (node.type == kFile || node.type == kFolder ? live : deleted).insert((folder ? "d " : "f ") + path);
  }
  EXPECT_EQ(live, SleuthKitEntries(image, 0, false));
  EXPECT_EQ(deleted, SleuthKitEntries(image, 0, true));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmallFatVolume,
                         ::testing::Values(SmallFat{"SMALL16", "16", "16M", 32768, kFat16},
                                           SmallFat{"FLOPPY", "12", "1440K", 2880, kFat12}),
                         [](const auto& info) { return std::string("Fat") + info.param.bits; });

}  // namespace
}  // namespace kestrum
