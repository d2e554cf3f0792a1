// The reader and the export on exFAT volumes made by the real tools, checked
// against the builder's manifest and against The Sleuth Kit.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fs/dos_time.h"
#include "fs/exfat/exfat_export.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/exfat/exfat_tables.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/sha256.h"
#include "support/temp_dir.h"
#include "support/fls.h"
#include "support/tree_walk.h"
#include "tree_listing.h"

namespace kestrum {
namespace {

struct FixtureVolume {
  const char* name;       // for messages
  const char* image;
  const char* info;
  const char* manifest;
};

void PrintTo(const FixtureVolume& v, std::ostream* os) { *os << v.name; }

const FixtureVolume kVolumes[] = {
    {"exfat.img", "exfat.img", "exfat.info", "exfat.manifest.tsv"},
    {"disk.img partition 6", "disk.img", "disk.p6.info", "disk.p6.manifest.tsv"},
};

std::int64_t UnixSeconds(std::uint64_t fileTime) {
  return static_cast<std::int64_t>((fileTime - kUnixEpochAsFileTime) / 10000000);
}

class ExfatFixture : public ::testing::TestWithParam<FixtureVolume> {
 protected:
  void SetUp() override {
    test::PrepareRun();
    volume_ = test::FixtureDescriptor(GetParam().image, GetParam().info);
    ASSERT_TRUE(ReadExfatVolume(volume_));
    manifest_ = test::LoadManifest(GetParam().manifest);
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  const FileNode& Node(std::uint32_t k) const { return volume_.readerState.nodes->nodes[k]; }

  // Exports one node; the output's bytes, and whether the routine said so.
  bool Export(const FileNode& node, std::string& bytes) {
    std::string path = dir_.File("out.bin");
    OutputFile out;
    EXPECT_TRUE(out.Create(path));
    StatusMessage status;
    status.kind = StatusKind::kExport;
    bool ok = node.size == 0 || ExportExfatFile(volume_, node, out, status);
    out.Close();
    bytes = test::ReadWholeFile(path);
    if (ok) {
      EXPECT_EQ(status.exportStatus.bytesExported, node.size);
      EXPECT_EQ(status.exportStatus.currentFileCopied, node.size);
    }
    return ok;
  }

  VolumeDescriptor volume_;
  std::vector<test::ManifestEntry> manifest_;
  test::TempDir dir_;
};

TEST_P(ExfatFixture, TheExistingFilesViewListsExactlyTheLiveEntries) {
  auto listed = test::TreePaths(volume_, kViewExistingFiles);
  std::set<std::string> expected{"LostFile"};
  for (const auto& e : manifest_) {
    if (e.deleted) continue;
    expected.insert(e.path);
    ASSERT_TRUE(listed.count(e.path)) << e.path;
    const FileNode& n = Node(listed[e.path]);
    EXPECT_EQ(n.type, e.folder ? kFolder : kFile) << e.path;
    if (!e.folder) {
      EXPECT_EQ(n.size, e.size) << e.path;
      EXPECT_EQ(UnixSeconds(n.lastWriteTime), e.mtime) << e.path;
    }
  }
  std::set<std::string> got;
  for (const auto& [path, k] : listed) got.insert(path);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(ChildrenOf(volume_.readerState.nodes->nodes, listed["many"]).size(), test::CountUnder(manifest_, "many"));
  // The FUSE driver writes contiguous files without a FAT chain, and grows
  // many/ through its chain.
  EXPECT_EQ(Node(listed["sizes/5242880.bin"]).noFatChain, 1);
  EXPECT_EQ(Node(listed["many"]).noFatChain, 0);
}

TEST_P(ExfatFixture, TheDeletedFilesViewListsTheDeletedFilesAndTrash) {
  auto listed = test::TreePaths(volume_, kViewDeletedFiles);
  std::size_t deletedEntries = 0;
  for (const auto& e : manifest_) {
    if (!e.deleted) continue;
    ++deletedEntries;
    ASSERT_TRUE(listed.count(e.path)) << e.path;
    const FileNode& n = Node(listed[e.path]);
    EXPECT_EQ(n.type, e.folder ? kDeletedFolder : kDeletedFile) << e.path;
    EXPECT_EQ(n.deletedMark, 1);
    if (!e.folder) {
      EXPECT_EQ(n.size, e.size) << e.path;
      EXPECT_EQ(UnixSeconds(n.lastWriteTime), e.mtime) << e.path;
    }
  }
  EXPECT_GE(deletedEntries, 6u);
  EXPECT_TRUE(listed.count("trash/sub/b.txt"));
  // Live nodes appear only as the folders that lead to deleted ones.
  for (const auto& [path, k] : listed) {
    const FileNode& n = Node(k);
    if (!n.IsDeleted() && path != "LostFile") {
      EXPECT_EQ(n.type, kFolder) << path;
    }
  }
  EXPECT_TRUE(listed.count("docs")) << "docs holds removed.doc";
  EXPECT_FALSE(listed.count("sizes"));
}

TEST_P(ExfatFixture, EveryLiveFileExportsByteForByte) {
  auto listed = test::TreePaths(volume_, kViewExistingFiles);
  std::size_t checked = 0;
  for (const auto& e : manifest_) {
    if (e.deleted || e.folder) continue;
    std::string bytes;
    ASSERT_TRUE(Export(Node(listed[e.path]), bytes)) << e.path;
    EXPECT_EQ(test::Sha256Hex(bytes), e.sha256) << e.path;
    ++checked;
  }
  EXPECT_GT(checked, test::CountUnder(manifest_, "many"));
  const FileNode& frag = Node(listed["frag.bin"]);
  EXPECT_EQ(frag.noFatChain, 0) << "frag.bin must really be fragmented";
  auto clusters = ContentClusters(volume_, frag.location, frag.size, false);
  std::size_t jumps = 0;
  for (std::size_t i = 1; i < clusters.size(); ++i) jumps += clusters[i] != clusters[i - 1] + 1;
  EXPECT_GE(jumps, 3u) << "four fragments";
}

TEST_P(ExfatFixture, DeletedFilesWhoseClustersSurviveExportIntact) {
  // The Sleuth Kit tells which deleted files still hold their content.
  std::string image = test::FixturePath(GetParam().image);
  std::string offset = std::to_string(volume_.startSector);
  auto listed = test::TreePaths(volume_, kViewDeletedFiles);
  std::size_t intact = 0;
  for (const auto& e : manifest_) {
    if (!e.deleted || e.folder) continue;
    auto inode = test::RunCommand({"ifind", "-o", offset, "-n", "/" + e.path, image});
    std::string number = inode.out.substr(0, inode.out.find('\n'));
    if (inode.exitCode != 0 || number.empty()) continue;
    auto content = test::RunCommand({"icat", "-o", offset, "-r", image, number});
    if (test::Sha256Hex(content.out) != e.sha256) continue;
    std::string bytes;
    EXPECT_EQ(Node(listed[e.path]).recovery, kRecoveryGood) << e.path;
    EXPECT_TRUE(Export(Node(listed[e.path]), bytes)) << e.path;
    EXPECT_EQ(test::Sha256Hex(bytes), e.sha256) << e.path;
    ++intact;
  }
  EXPECT_GE(intact, 1u) << "no deleted file kept its content: the check would be empty";
}

TEST_P(ExfatFixture, AReadFaultInsideAFileIsZerosInItsCopy) {
  auto listed = test::TreePaths(volume_, kViewExistingFiles);
  const FileNode& file = Node(listed["sizes/5242880.bin"]);
  auto clusters = ContentClusters(volume_, file.location, file.size, file.noFatChain != 0);
  ASSERT_GT(clusters.size(), 10u);
  ExfatGeometry g = ExfatGeometryOf(volume_);
  testing::InjectReadFault(test::FixturePath(GetParam().image), g.ClusterSector(clusters[clusters.size() / 2]), 1);
  std::string damaged;
  EXPECT_TRUE(Export(file, damaged));
  testing::ClearReadFaults();
  std::string bytes;
  EXPECT_TRUE(Export(file, bytes));
  ASSERT_EQ(bytes.size(), file.size);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(clusters.size() / 2 * g.ClusterBytes()), 512, '\0');
  EXPECT_EQ(damaged, bytes);
}

TEST_P(ExfatFixture, TheLabelAndTheBootChecksHoldOnARealVolume) {
  auto info = test::LoadInfo(GetParam().info);
  DeviceHandle disk;
  ASSERT_TRUE(OpenDevice(volume_.diskPath, disk));
  VolumeDescriptor made;
  MakeExfatDescriptor(made, disk, volume_.bootSector, volume_.startSector);
  EXPECT_EQ(ToUtf8(made.label), info["label"]);
  EXPECT_EQ(made.fsKind, kFsExfat);
  EXPECT_EQ(made.sectorCount, volume_.sectorCount);
  EXPECT_TRUE(CheckExfatAt(volume_.startSector, volume_.bootSector, disk));
  EXPECT_FALSE(CheckExfatAt(volume_.startSector + 1, volume_.bootSector, disk));
  CloseDevice(disk);
}

// path → deleted, as fls lists the volume, without its virtual entries.
std::map<std::string, bool> SleuthKitListing(const std::string& image, Sector64 offset) {
  std::map<std::string, bool> out;
  for (const test::FlsEntry& e : test::Fls(image, offset)) {
    if (e.Virtual() || e.Metadata() || e.path.find("(Volume Label Entry)") != std::string::npos) continue;
    EXPECT_TRUE(out.emplace(e.path, e.deleted).second) << "fls lists twice: " << e.path;
  }
  return out;
}

TEST_P(ExfatFixture, TheSleuthKitSeesTheSameTree) {
  auto tsk = SleuthKitListing(test::FixturePath(GetParam().image), volume_.startSector);
  ASSERT_GT(tsk.size(), test::CountUnder(manifest_, "many"));
  auto existing = test::TreePaths(volume_, kViewExistingFiles);
  auto deleted = test::TreePaths(volume_, kViewDeletedFiles);
  for (const auto& [path, isDeleted] : tsk) {
    if (isDeleted) {
      EXPECT_TRUE(deleted.count(path) && Node(deleted[path]).IsDeleted()) << path;
    } else {
      EXPECT_TRUE(existing.count(path)) << path;
    }
  }
  for (const auto& [path, k] : existing) {
    if (path != "LostFile") {
      EXPECT_TRUE(tsk.count(path) && !tsk[path]) << path;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, ExfatFixture, ::testing::ValuesIn(kVolumes),
                         [](const auto& info) { return info.index == 0 ? "ExfatImg" : "DiskImgPartition6"; });

}  // namespace
}  // namespace kestrum
