#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/text.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/tree_builder.h"

namespace kestrum {
namespace {

using test::TreeBuilder;

std::vector<std::u16string> VisibleNames(const VolumeSet& set, std::uint32_t folder,
                                         bool foldersOnly = false) {
  std::vector<std::uint32_t> children;
  EXPECT_TRUE(set.ListVisibleChildren(kCurrentVolume, folder, children, foldersOnly));
  std::vector<std::u16string> names;
  for (std::uint32_t k : children) names.emplace_back(set.volumes[0].readerState.nodes->nodes[k].name);
  return names;
}

TEST(NodeArray, StartsAtTheRootAndKeepsEveryNodeAsItGrows) {
  VolumeDescriptor volume;
  AddRootNode(volume);
  NodeArray& array = NodesOf(volume);
  EXPECT_EQ(array.Count(), 6u);
  EXPECT_EQ(array.nodes[5].name, u".");
  EXPECT_EQ(array.nodes[5].parentId, 5u);
  EXPECT_TRUE(array.nodes[0].name.empty());
  // Far past the first room, so that the pages move several times; one
  // append copies a node of the array itself just as it is full.
  FileNode node;
  for (std::uint64_t next = 0; array.nodes.size() < 300000;) {
    if (array.nodes.size() == array.nodes.capacity()) {
      const std::size_t at = array.nodes.size();
      EXPECT_EQ(AppendNode(volume, array.nodes[6]), at);
      continue;
    }
    node.size = next;
    node.name = array.strings.Keep(FromUtf8(std::to_string(next++)));
    AppendNode(volume, node);
  }
  ASSERT_EQ(array.nodes.size(), 300000u);
  EXPECT_EQ(array.nodes[5].name, u".");
  std::uint64_t expected = 0;
  for (std::uint32_t k = 6; k < array.Count(); ++k) {
    const FileNode& n = array.nodes[k];
    ASSERT_EQ(n.id, k) << "ids are given as indices";
    if (n.size != expected) {  // a copy of node 6
      ASSERT_EQ(n.size, 0u) << k;
      ASSERT_EQ(n.name, u"0") << k;
      continue;
    }
    ASSERT_EQ(n.name, FromUtf8(std::to_string(expected))) << k;
    ++expected;
  }
  EXPECT_THROW(array.nodes.at(array.nodes.size()), std::out_of_range);
}

TEST(NodeStrings, KeptTextOutlivesAMoveAndTheSourceStartsAfresh) {
  NodeStrings first;
  const std::u16string_view kept = first.Keep(u"kept before the move");
  NodeStrings second = std::move(first);
  const std::u16string_view later = first.Keep(u"written after");
  EXPECT_EQ(second.Keep(u"x"), u"x");
  EXPECT_EQ(kept, u"kept before the move");
  EXPECT_EQ(later, u"written after") << "the two pools filled the same block";
}

TEST(LinkNodes, OrphansHangUnderLostFile) {
  TreeBuilder t;
  std::uint32_t dir = t.Add(u"dir", kFolder, 5);
  std::uint32_t beyond = t.Add(u"beyond", kFile, 999999);
  std::uint32_t emptyParent = t.Add(u"empty-parent", kFile, 2);  // slot 2 is empty
  std::uint32_t self = t.Add(u"self", kFolder, 0);
  t.Nodes()[self].parentId = self;  // its own parent
  VolumeSet& set = t.Finish(kViewExistingFiles);
  const auto& nodes = t.Nodes();
  EXPECT_EQ(ChildrenOf(nodes, 5).List(), (std::vector<std::uint32_t>{dir, t.LostFile()}));
  EXPECT_EQ(ChildrenOf(nodes, t.LostFile()).List(), (std::vector<std::uint32_t>{beyond, emptyParent, self}));
  EXPECT_EQ(VisibleNames(set, 5), (std::vector<std::u16string>{u"dir", u"LostFile"}));
}

TEST(LinkNodes, DollarNamesAreLinkedNowhere) {
  TreeBuilder t;
  t.Add(u"$Secret", kFile, 5);
  std::uint32_t dir = t.Add(u"$Folder", kFolder, 5);
  t.Add(u"inside", kFile, dir);
  t.Finish(kViewExistingFiles);
  EXPECT_EQ(ChildrenOf(t.Nodes(), 5).List(), (std::vector<std::uint32_t>{t.LostFile()}));
  EXPECT_EQ(ChildrenOf(t.Nodes(), dir).size(), 1u) << "its children still hang under it";
}

TEST(LinkNodes, DeletedMarksSpreadUpToTheRoot) {
  TreeBuilder t;
  std::uint32_t a = t.Add(u"a", kFolder, 5);
  std::uint32_t b = t.Add(u"b", kFolder, a);
  std::uint32_t live = t.Add(u"live", kFolder, 5);
  t.Add(u"x", kDeletedFile, b);
  t.Add(u"y", kFile, live);
  t.Finish(kViewDeletedFiles);
  EXPECT_EQ(t.Nodes()[b].deletedMark, 1);
  EXPECT_EQ(t.Nodes()[a].deletedMark, 1);
  EXPECT_EQ(t.Nodes()[live].deletedMark, 0);
}

TEST(LinkNodes, AParentChainThatLoopsEndsTheMarkingWalk) {
  TreeBuilder t;
  std::uint32_t a = t.Add(u"a", kFolder, 0);
  std::uint32_t b = t.Add(u"b", kFolder, a);
  t.Nodes()[a].parentId = b;  // a ↔ b
  t.Add(u"gone", kDeletedFile, b);
  VolumeSet& set = t.Finish(kViewDeletedFiles);
  EXPECT_EQ(t.Nodes()[a].deletedMark, 1);
  EXPECT_EQ(t.Nodes()[b].deletedMark, 1);
  std::vector<std::uint32_t> path;
  EXPECT_FALSE(set.PathToRoot(0, b, path)) << "a loop never reaches the root";
  SubtreeTotals totals;
  set.SumSubtree(0, 5, totals);
  EXPECT_EQ(totals.files, 0u) << "the loop is not reachable from the root";
  set.SumSubtree(0, a, totals);  // handed in directly, the ring is walked once
  EXPECT_EQ(totals.files, 1u);
}

TEST(LinkNodes, AFolderOfMoreThan65535ChildrenKeepsThemAll) {
  TreeBuilder t;
  std::uint32_t big = t.Add(u"big", kFolder, 5);
  for (int i = 0; i < 70000; ++i) t.Add(u"f", kFile, big, 1);
  VolumeSet& set = t.Finish(kViewExistingFiles);
  EXPECT_EQ(ChildrenOf(t.Nodes(), big).size(), 70000u);
  SubtreeTotals totals;
  set.SumSubtree(0, big, totals);
  EXPECT_EQ(totals.files, 70000u);
  EXPECT_EQ(totals.bytes, 70000u);
}

TEST(ViewFilter, ExistingFilesNeverShowsDeletedNodes) {
  TreeBuilder t;
  std::uint32_t docs = t.Add(u"docs", kFolder, 5);
  t.Add(u"keep.txt", kFile, docs);
  t.Add(u"old.txt", kDeletedFile, docs);
  std::uint32_t trash = t.Add(u"trash", kDeletedFolder, 5);
  t.Add(u"in-trash.txt", kDeletedFile, trash);
  VolumeSet& set = t.Finish(kViewExistingFiles);
  EXPECT_EQ(VisibleNames(set, 5), (std::vector<std::u16string>{u"docs", u"LostFile"}));
  EXPECT_EQ(VisibleNames(set, docs), (std::vector<std::u16string>{u"keep.txt"}));
  EXPECT_EQ(set.IsNodeVisible(kCurrentVolume, trash, false), nullptr);
}

TEST(ViewFilter, DeletedFilesShowsLiveFoldersOnlyAboveSomethingDeleted) {
  TreeBuilder t;
  std::uint32_t docs = t.Add(u"docs", kFolder, 5);
  t.Add(u"keep.txt", kFile, docs);
  t.Add(u"old.txt", kDeletedFile, docs);
  std::uint32_t clean = t.Add(u"clean", kFolder, 5);
  t.Add(u"fine.txt", kFile, clean);
  std::uint32_t trash = t.Add(u"trash", kDeletedFolder, 5);
  t.Add(u"in-trash.txt", kDeletedFile, trash);
  VolumeSet& set = t.Finish(kViewDeletedFiles);
  EXPECT_EQ(VisibleNames(set, 5), (std::vector<std::u16string>{u"docs", u"trash", u"LostFile"}));
  EXPECT_EQ(VisibleNames(set, docs), (std::vector<std::u16string>{u"old.txt"}));
  EXPECT_EQ(VisibleNames(set, 5, true), (std::vector<std::u16string>{u"docs", u"trash", u"LostFile"}));
  EXPECT_TRUE(set.HasVisibleSubfolder(kCurrentVolume, 5));
  EXPECT_FALSE(set.HasVisibleSubfolder(kCurrentVolume, docs));
  EXPECT_FALSE(set.HasVisibleSubfolder(kCurrentVolume, clean)) << "hidden itself";
}

TEST(ViewFilter, RootAndLostFileShowInEveryViewEvenEmpty) {
  TreeBuilder t;
  t.Add(u"a", kFile, 5);
  VolumeSet& set = t.Finish(kViewDeletedFiles);
  for (std::int32_t view : {std::int32_t{kViewExistingFiles}, std::int32_t{kViewDeletedFiles}, 0, 7}) {
    set.viewMode = view;
    EXPECT_NE(set.IsNodeVisible(0, 5, false), nullptr) << view;
    EXPECT_NE(set.IsNodeVisible(0, t.LostFile(), true), nullptr) << view;
  }
  set.viewMode = 7;
  EXPECT_EQ(VisibleNames(set, 5), (std::vector<std::u16string>{u"LostFile"}));
  EXPECT_EQ(set.IsNodeVisible(3, 5, false), nullptr) << "volume out of range";
}

TEST(PathToRoot, RunsFromTheNodeUpThroughLostFile) {
  TreeBuilder t;
  std::uint32_t a = t.Add(u"a", kFolder, 5);
  std::uint32_t b = t.Add(u"b", kFolder, a);
  std::uint32_t f = t.Add(u"f", kFile, b);
  std::uint32_t orphanDir = t.Add(u"orphan", kFolder, 888888);
  std::uint32_t inOrphan = t.Add(u"g", kFile, orphanDir);
  VolumeSet& set = t.Finish(kViewExistingFiles);
  std::vector<std::uint32_t> path;
  ASSERT_TRUE(set.PathToRoot(0, f, path));
  EXPECT_EQ(path, (std::vector<std::uint32_t>{f, b, a, 5}));
  path.clear();
  ASSERT_TRUE(set.PathToRoot(0, inOrphan, path)) << "a folder under LostFile can be opened down to";
  EXPECT_EQ(path, (std::vector<std::uint32_t>{inOrphan, orphanDir, t.LostFile(), 5}));
}

TEST(PathToRoot, AHiddenAncestorBreaksThePath) {
  TreeBuilder t;
  std::uint32_t gone = t.Add(u"gone", kDeletedFolder, 5);
  std::uint32_t live = t.Add(u"live", kFile, gone);
  VolumeSet& set = t.Finish(kViewExistingFiles);
  std::vector<std::uint32_t> path;
  EXPECT_FALSE(set.PathToRoot(0, live, path));
}

TEST(SumSubtree, CountsOnlyFilesTheViewShows) {
  TreeBuilder t;
  std::uint32_t docs = t.Add(u"docs", kFolder, 5, 4096);  // folder sizes add nothing
  t.Add(u"keep.txt", kFile, docs, 100);
  t.Add(u"old.txt", kDeletedFile, docs, 30);
  std::uint32_t sub = t.Add(u"sub", kFolder, docs);
  t.Add(u"deep.txt", kDeletedFile, sub, 7);
  VolumeSet& set = t.Finish(kViewDeletedFiles);
  SubtreeTotals totals;
  set.SumSelection({docs}, totals);
  EXPECT_EQ(totals.files, 2u);
  EXPECT_EQ(totals.bytes, 37u);
  set.viewMode = kViewExistingFiles;
  totals = {};
  set.SumSelection({docs, 5}, totals);  // docs, then docs again through the root
  EXPECT_EQ(totals.files, 2u);
  EXPECT_EQ(totals.bytes, 200u);
}

class RecordingListener : public VolumeSetListener {
 public:
  explicit RecordingListener(std::vector<std::string>* log, const char* tag) : log_(log), tag_(tag) {}
  void OnVolumeSelected(int volume, std::uint32_t node) override {
    log_->push_back(tag_ + std::string(" selected ") + std::to_string(volume) + "/" + std::to_string(node));
  }
  void OnVolumesCleared() override { log_->push_back(tag_ + std::string(" cleared")); }
  void OnVolumeAdded() override { log_->push_back(tag_ + std::string(" added")); }

 private:
  std::vector<std::string>* log_;
  const char* tag_;
};

TEST(VolumeSet, ListenersAreToldInOrderAndTheSenderIsSkipped) {
  std::vector<std::string> log;
  RecordingListener tree(&log, "tree"), list(&log, "list");
  VolumeSet set;
  set.AddListener(&tree);
  set.AddListener(&list);
  VolumeDescriptor v;
  AddRootNode(v);
  set.AddVolume(v);
  set.NotifyListeners(nullptr, VolumeSetEvent::kVolumeAdded);
  set.SelectVolume(0, &list, 5);
  set.SelectVolume(4, nullptr, 5);  // out of range: nothing
  EXPECT_EQ(log, (std::vector<std::string>{"tree added", "list added", "tree selected 0/5"}));
  EXPECT_EQ(set.currentVolume, 0);
}

TEST(VolumeSet, ClearingFreesTheTreesCopiesShared) {
  VolumeSet set;
  std::vector<std::string> log;
  RecordingListener listener(&log, "l");
  set.AddListener(&listener);
  VolumeDescriptor reader;
  AddRootNode(reader);
  std::weak_ptr<NodeArray> tree = reader.readerState.nodes;
  set.AddVolume(reader);
  EXPECT_EQ(set.volumes[0].readerState.nodes.get(), reader.readerState.nodes.get()) << "shared, not copied";
  reader = VolumeDescriptor{};
  EXPECT_FALSE(tree.expired());
  set.ClearVolumes();
  EXPECT_TRUE(tree.expired());
  EXPECT_TRUE(set.volumes.empty());
  EXPECT_EQ(set.Current(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"l cleared"}));
}

}  // namespace
}  // namespace kestrum
