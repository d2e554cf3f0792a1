#include "fs/exfat/exfat_reader.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "exfat_image.h"
#include "fs/dos_time.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"
#include "tree_listing.h"

namespace kestrum {
namespace {

using test::EntrySetBytes;
using test::Join;
using test::EntrySetFields;

EntrySetFields Fields(const std::string& name, bool folder, bool deleted, std::uint64_t size, std::uint32_t cluster,
             bool noFatChain = false) {
  EntrySetFields s;
  s.name = name;
  s.folder = folder;
  s.deleted = deleted;
  s.size = size;
  s.firstCluster = cluster;
  s.noFatChain = noFatChain;
  return s;
}

// Builds a volume in memory, writes it, and reads it with the reader.
class SyntheticVolume : public ::testing::Test {
 protected:
  void SetUp() override { test::PrepareRun(); }
  void TearDown() override { test::PrepareRun(); }

  VolumeDescriptor Read() {
    std::string path = dir_.File("exfat.img");
    image_.WriteTo(path);
    VolumeDescriptor v = image_.Descriptor(path);
    EXPECT_TRUE(ReadExfatVolume(v));
    return v;
  }

  static const NodeVector& Nodes(const VolumeDescriptor& v) { return v.readerState.nodes->nodes; }

  test::TempDir dir_;
  test::ExfatImage image_;
};

TEST_F(SyntheticVolume, DeletedSetsAreListedInTheDeletedViewWithTheirFields) {
  EntrySetFields gone = Fields("gone.txt", false, true, 700, 20);
  gone.created = test::MakeDosStamp(2018, 5, 6, 7, 8, 10);
  gone.modified = test::MakeDosStamp(2023, 12, 24, 18, 30, 0);
  image_.WriteRoot(Join({EntrySetBytes(Fields("kept.txt", false, false, 5, 10)), EntrySetBytes(gone),
                         EntrySetBytes(Fields("trash", true, true, 512, 30))}));
  image_.Chain({10});
  // The deleted folder's content, through the FAT chain it left.
  image_.SetFat(30, 0xFFFFFFFF);
  image_.PutInClusters({30}, Join({EntrySetBytes(Fields("a.bin", false, true, 3000, 31)),
                                   EntrySetBytes(Fields("sub", true, true, 512, 40))}));
  image_.SetFat(40, 0xFFFFFFFF);
  image_.PutInClusters({40}, EntrySetBytes(Fields("b.txt", false, true, 9, 41)));
  VolumeDescriptor v = Read();

  auto deleted = test::TreePaths(v, kViewDeletedFiles);
  ASSERT_TRUE(deleted.count("gone.txt"));
  const FileNode& g = Nodes(v)[deleted["gone.txt"]];
  EXPECT_EQ(g.type, kDeletedFile);
  EXPECT_EQ(g.size, 700u);
  EXPECT_EQ(g.location, 20u);
  EXPECT_EQ(g.creationTime, DosTimeToFileTime(gone.created.date, gone.created.time));
  EXPECT_EQ(g.lastWriteTime, DosTimeToFileTime(gone.modified.date, gone.modified.time));
  EXPECT_EQ(deleted.count("kept.txt"), 0u);
  for (const char* path : {"trash", "trash/a.bin", "trash/sub", "trash/sub/b.txt"}) {
    EXPECT_TRUE(deleted.count(path)) << path;
  }
  EXPECT_EQ(Nodes(v)[deleted["trash"]].type, kDeletedFolder);
  EXPECT_EQ(Nodes(v)[deleted["trash/sub/b.txt"]].parentId, deleted["trash/sub"]);

  auto existing = test::TreePaths(v, kViewExistingFiles);
  EXPECT_EQ(existing.size(), 2u) << "kept.txt and LostFile";
  EXPECT_TRUE(existing.count("kept.txt"));
  EXPECT_TRUE(existing.count("LostFile"));
  const auto& nodes = Nodes(v);
  EXPECT_EQ(nodes.back().id, kLostFileId) << "LostFile is the last slot";
  EXPECT_EQ(nodes.back().type, kDeletedFolder);
}

TEST_F(SyntheticVolume, ASetSplitOverTwoClustersOfOneDirectoryIsJoined) {
  // The root spans clusters 4 and 9: its 16th entry is the file entry of a
  // set whose stream and names lie at the start of cluster 9.
  std::vector<std::uint8_t> entries;
  for (int i = 0; i < 6; ++i) {
    entries = Join({entries, EntrySetBytes(Fields("f" + std::to_string(i), false, false, 1, 100 + i))});
  }
  ASSERT_EQ(entries.size() / 32, 18u);  // 3 system entries + 18 = 21: file entry 15 of f4 is entry 15
  // Replace f4 with a long-named set that starts at entry 15.
  entries.resize(12 * 32);
  entries = Join({entries, EntrySetBytes(Fields("split-across-the-cluster-edge.txt", false, false, 77, 120)),
                  EntrySetBytes(Fields("after", false, false, 1, 121))});
  image_.WriteRoot(entries, {4, 9});
  VolumeDescriptor v = Read();
  const FileNode* split = test::ChildNamed(v, kRootNodeId, "split-across-the-cluster-edge.txt");
  ASSERT_NE(split, nullptr);
  EXPECT_EQ(split->size, 77u);
  EXPECT_EQ(split->location, 120u);
  EXPECT_NE(test::ChildNamed(v, kRootNodeId, "after"), nullptr);
}

TEST_F(SyntheticVolume, ALargeClusterIsReadInPiecesAndTheSetsAcrossThemAreJoined) {
  // 128 KiB clusters: the root is read in two pieces of 64 KiB. A folder
  // comes first, so that the rest of the root is read after it; 700 sets of
  // three entries after it put one across the pieces' edge (entry 2048).
  test::ExfatLayout layout;
  layout.clusterShift = 8;
  layout.clusterCount = 16;
  image_ = test::ExfatImage(layout);
  image_.PutInClusters({10}, EntrySetBytes(Fields("inner", false, false, 1, 12)));
  std::vector<std::uint8_t> entries = EntrySetBytes(Fields("sub", true, false, image_.ClusterBytes(), 10, true));
  for (int i = 0; i < 700; ++i) {
    entries = Join({entries, EntrySetBytes(Fields("file-" + std::to_string(i), false, false, 1, 11))});
  }
  image_.WriteRoot(entries);
  VolumeDescriptor v = Read();
  for (int i : {0, 679, 680, 681, 699}) {
    EXPECT_NE(test::ChildNamed(v, kRootNodeId, "file-" + std::to_string(i)), nullptr) << i;
  }
  const auto paths = test::TreePaths(v, kViewExistingFiles);
  EXPECT_EQ(paths.size(), 703u) << "the 700 files, sub, sub/inner and LostFile";
  EXPECT_EQ(paths.count("sub/inner"), 1u);
}

TEST_F(SyntheticVolume, NoFatChainDirectoriesAreReadAcrossAllTheirClusters) {
  // 60 files in a contiguous folder of 12 clusters whose FAT entries are 0.
  std::vector<std::uint8_t> entries;
  for (int i = 0; i < 60; ++i) {
    entries = Join({entries, EntrySetBytes(Fields("file-" + std::to_string(i), false, false, 1, 300))});
  }
  ASSERT_EQ(entries.size(), 60u * 3 * 32);
  std::vector<std::uint32_t> clusters;
  for (std::uint32_t c = 50; c < 62; ++c) clusters.push_back(c);
  image_.PutInClusters(clusters, entries);
  image_.WriteRoot(Join({EntrySetBytes(Fields("many", true, false, 12 * 512, 50, true)),
                         EntrySetBytes(Fields("deleted-many", true, true, 12 * 512, 50, true))}));
  VolumeDescriptor v = Read();
  std::uint32_t many = test::ChildIndex(v, kRootNodeId, "many");
  ASSERT_NE(many, 0u);
  EXPECT_EQ(Nodes(v)[many].noFatChain, 1);
  EXPECT_EQ(ChildrenOf(Nodes(v), many).size(), 60u);
  EXPECT_NE(test::ChildNamed(v, many, "file-59"), nullptr);
  std::uint32_t again = test::ChildIndex(v, kRootNodeId, "deleted-many");
  ASSERT_NE(again, 0u) << "a second entry for the same clusters is listed";
  EXPECT_TRUE(ChildrenOf(Nodes(v), again).empty()) << "but its clusters are not read twice";
}

TEST_F(SyntheticVolume, AFolderWithoutDataIsListedButNotEntered) {
  image_.PutInClusters({70}, EntrySetBytes(Fields("must-not-appear", false, false, 1, 71)));
  image_.Chain({70});
  image_.WriteRoot(EntrySetBytes(Fields("empty dir", true, false, 0, 70)));
  VolumeDescriptor v = Read();
  const FileNode* empty = test::ChildNamed(v, kRootNodeId, "empty dir");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->type, kFolder);
  EXPECT_EQ(empty->firstChild, kNoNode);
  EXPECT_EQ(test::TreePaths(v, kViewExistingFiles).count("empty dir/must-not-appear"), 0u);
}

TEST_F(SyntheticVolume, DirectoryLoopsEndAndEachDirectoryIsReadOnce) {
  // loop → the root again; a → b → a.
  image_.WriteRoot(Join({EntrySetBytes(Fields("loop", true, false, 512, 4)), EntrySetBytes(Fields("a", true, false, 512, 80)),
                         EntrySetBytes(Fields("leaf.txt", false, false, 1, 99))}));
  image_.Chain({80});
  image_.Chain({81});
  image_.PutInClusters({80}, EntrySetBytes(Fields("b", true, false, 512, 81)));
  image_.PutInClusters({81}, EntrySetBytes(Fields("back-to-a", true, false, 512, 80)));
  VolumeDescriptor v = Read();
  auto tree = test::TreePaths(v, kViewExistingFiles);
  EXPECT_TRUE(tree.count("loop"));
  EXPECT_TRUE(tree.count("a/b/back-to-a"));
  EXPECT_TRUE(ChildrenOf(Nodes(v), tree["loop"]).empty());
  EXPECT_TRUE(ChildrenOf(Nodes(v), tree["a/b/back-to-a"]).empty());
  EXPECT_EQ(tree.size(), 6u) << "loop, a, a/b, a/b/back-to-a, leaf.txt, LostFile";
}

TEST_F(SyntheticVolume, NestingDeeperThanTheLimitIsListedButNotEntered) {
  // d1 … d200, each the only entry of its parent, in clusters 100 … 299.
  std::uint32_t levels = 200;
  image_.WriteRoot(EntrySetBytes(Fields("d1", true, false, 512, 100)));
  for (std::uint32_t k = 1; k < levels; ++k) {
    image_.Chain({99 + k});
    image_.PutInClusters({99 + k}, EntrySetBytes(Fields("d" + std::to_string(k + 1), true, false, 512, 100 + k)));
  }
  VolumeDescriptor v = Read();
  std::uint32_t node = kRootNodeId;
  std::uint32_t depth = 0;
  while (!ChildrenOf(Nodes(v), node).empty()) {
    node = *ChildrenOf(Nodes(v), node).begin();
    ++depth;
  }
  EXPECT_EQ(depth, kMaxExfatDirectoryDepth + 1);
  EXPECT_EQ(Nodes(v)[node].name, FromUtf8("d" + std::to_string(kMaxExfatDirectoryDepth + 1)));
}

TEST_F(SyntheticVolume, PostsTheFourCountsAndCachesTheTables) {
  image_.WriteRoot(Join({EntrySetBytes(Fields("f1", false, false, 1, 10)), EntrySetBytes(Fields("f2", false, false, 1, 11)),
                         EntrySetBytes(Fields("d", true, false, 512, 12)), EntrySetBytes(Fields("x", false, true, 1, 13)),
                         EntrySetBytes(Fields("y", true, true, 0, 0))}),
                   {4, 5});
  image_.Chain({10});
  image_.Chain({11});
  image_.Chain({12});
  image_.PutInClusters({12}, EntrySetBytes(Fields("inner", false, false, 1, 14)));
  VolumeDescriptor v = Read();
  StatusMessage m;
  ASSERT_TRUE(TakeStatus(m));
  EXPECT_EQ(m.kind, StatusKind::kParse);
  EXPECT_EQ(m.parse.files, 3u);
  EXPECT_EQ(m.parse.folders, 1u);
  EXPECT_EQ(m.parse.deletedFiles, 1u);
  EXPECT_EQ(m.parse.deletedFolders, 1u);
  ASSERT_TRUE(v.readerState.fat);
  EXPECT_EQ(v.readerState.fat->size(), 4u * 512) << "(400 + 2) entries of 4 bytes: 4 of the 8 FAT sectors";
  ASSERT_TRUE(v.readerState.bitmap);
  EXPECT_EQ(v.readerState.bitmap->size(), 512u);
}

TEST_F(SyntheticVolume, AStopStillLinksWhatWasRead) {
  image_.WriteRoot(EntrySetBytes(Fields("f1", false, false, 1, 10)));
  RequestAbort();
  VolumeDescriptor v = Read();
  const auto& nodes = Nodes(v);
  ASSERT_EQ(nodes.size(), 7u) << "root and LostFile only";
  EXPECT_EQ(ChildrenOf(nodes, kRootNodeId).List(), (std::vector<std::uint32_t>{6}));
  EXPECT_EQ(nodes[6].name, u"LostFile");
}

TEST_F(SyntheticVolume, AnUnopenableDiskIsAFailure) {
  VolumeDescriptor v = image_.Descriptor(dir_.File("missing.img"));
  EXPECT_FALSE(ReadExfatVolume(v));
  EXPECT_FALSE(v.readerState.nodes);
}

TEST_F(SyntheticVolume, AVolumeInsideADiskIsReadAtItsStartSector) {
  test::ExfatLayout layout;
  layout.startSector = 2048;
  layout.clusterShift = 2;
  image_ = test::ExfatImage(layout);
  image_.WriteRoot(EntrySetBytes(Fields("inside.txt", false, false, 1, 10)));
  VolumeDescriptor v = Read();
  EXPECT_NE(test::ChildNamed(v, kRootNodeId, "inside.txt"), nullptr);
}

}  // namespace
}  // namespace kestrum
