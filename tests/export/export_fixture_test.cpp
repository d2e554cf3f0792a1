// Exporting the fixture volumes, written by the real file-system tools, and
// comparing what lands on disk with what the builder wrote.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/text.h"
#include "export/export_files.h"
#include "export_test_support.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::ManifestEntry;
using test::WrittenItem;

struct FixtureVolume {
  std::string label;
  std::string image;
  int partition;
  std::string manifest;
  bool readerSetsTimes;  // NTFS and FAT date their copies; exFAT does not
};

void PrintTo(const FixtureVolume& v, std::ostream* os) { *os << v.label; }

std::uint32_t IndexOf(const VolumeSet& set, std::uint32_t folder, const std::u16string& name) {
  std::vector<std::uint32_t> children;
  set.ListVisibleChildren(kCurrentVolume, folder, children, false);
  for (std::uint32_t k : children) {
    if (set.NodesOfVolume(kCurrentVolume)->nodes[k].name == name) return k;
  }
  ADD_FAILURE() << "no visible child " << std::string(name.begin(), name.end());
  return 0;
}

class EveryFixtureVolume : public ::testing::TestWithParam<FixtureVolume> {};

TEST_P(EveryFixtureVolume, ExportOfTheRootReproducesTheWrittenTreeAndNothingElse) {
  const FixtureVolume& v = GetParam();
  VolumeSet set;
  ASSERT_TRUE(test::ReadFixtureVolume(v.image, v.partition, set, kViewExistingFiles));
  test::TempDir dir;
  test::PrepareRun();
  test::WatchingPresenter presenter;
  ASSERT_TRUE(RunExport(set, FromUtf8(dir.path()), {kRootNodeId}, presenter));

  std::map<std::string, WrittenItem> written = test::WrittenTree(dir.path());
  // The root stands for its children: no folder for it, LostFile (always
  // shown, empty on these clean volumes) beside the top-level items.
  std::set<std::string> expected = {"LostFile"};
  std::uint32_t files = 0;
  std::uint64_t bytes = 0;
  for (const ManifestEntry& e : test::LoadManifest(v.manifest)) {
    if (e.deleted) continue;
    expected.insert(e.path);
    auto it = written.find(e.path);
    ASSERT_NE(it, written.end()) << "not exported: " << e.path;
    EXPECT_EQ(it->second.folder, e.folder) << e.path;
    if (e.folder) continue;
    ++files;
    bytes += e.size;
    EXPECT_EQ(it->second.size, e.size) << e.path;
    EXPECT_EQ(it->second.sha256, e.sha256) << e.path;
    if (v.readerSetsTimes) {
      EXPECT_EQ(it->second.mtime, e.mtime) << e.path;
    }
  }
  std::set<std::string> paths;
  for (const auto& [path, item] : written) paths.insert(path);
  EXPECT_EQ(paths, expected);
  EXPECT_TRUE(written["LostFile"].folder);

  // The counters the progress display shows add up to the selection.
  EXPECT_EQ(presenter.last.filesToExport, files);
  EXPECT_EQ(presenter.last.filesExported, files);
  EXPECT_EQ(presenter.last.bytesToExport, bytes);
  EXPECT_EQ(presenter.last.bytesExported, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, EveryFixtureVolume,
    ::testing::Values(FixtureVolume{"Ntfs", "ntfs.img", 0, "ntfs.manifest.tsv", true},
                      FixtureVolume{"Fat16", "fat16.img", 0, "fat16.manifest.tsv", true},
                      FixtureVolume{"Fat32", "fat32.img", 0, "fat32.manifest.tsv", true},
                      FixtureVolume{"Exfat", "exfat.img", 0, "exfat.manifest.tsv", false},
                      FixtureVolume{"DiskNtfs", "disk.img", 1, "disk.p1.manifest.tsv", true},
                      FixtureVolume{"DiskFat16", "disk.img", 3, "disk.p5.manifest.tsv", true},
                      // Past 2^32 sectors, and sectors other than 512 bytes.
                      FixtureVolume{"BigFat32", "big.img", 1, "big.p1.manifest.tsv", true},
                      FixtureVolume{"BigNtfsPast2TiB", "big.img", 2, "big.p2.manifest.tsv", true},
                      FixtureVolume{"Ntfs4k", "ntfs4k.img", 0, "ntfs4k.manifest.tsv", true},
                      FixtureVolume{"Fat32Sectors4k", "fat4k.img", 0, "fat4k.manifest.tsv", true},
                      FixtureVolume{"Exfat4k", "exfat4k.img", 0, "exfat4k.manifest.tsv", false},
                      FixtureVolume{"Ntfs2k", "ntfs2k.img", 0, "ntfs2k.manifest.tsv", true},
                      FixtureVolume{"Fat16Sectors1k", "fat1k.img", 0, "fat1k.manifest.tsv", true},
                      FixtureVolume{"NtfsClusters512", "ntfs512c.img", 0, "ntfs512c.manifest.tsv", true}),
    [](const auto& info) { return info.param.label; });

TEST(ExportDeletedView, DeletedFilesComeBackByteForByteInsideOnlyTheirFolders) {
  for (const char* image : {"ntfs.img", "exfat.img"}) {
    SCOPED_TRACE(image);
    VolumeSet set;
    ASSERT_TRUE(test::ReadFixtureVolume(image, 0, set, kViewDeletedFiles));
    test::TempDir dir;
    test::PrepareRun();
    test::WatchingPresenter presenter;
    ASSERT_TRUE(RunExport(set, FromUtf8(dir.path()), {kRootNodeId}, presenter));
    auto written = test::WrittenTree(dir.path());
    std::set<std::string> live;
    for (const ManifestEntry& e : test::LoadManifest(std::string(image).substr(0, std::string(image).find('.')) +
                                                     ".manifest.tsv")) {
      if (!e.deleted) {
        if (!e.folder) live.insert(e.path);
        continue;
      }
      ASSERT_EQ(written.count(e.path), 1u) << "not exported: " << e.path;
      EXPECT_EQ(written[e.path].folder, e.folder) << e.path;
      if (!e.folder) {
        EXPECT_EQ(written[e.path].sha256, e.sha256) << e.path;
      }
    }
    // A live folder above a deleted file holds only the deleted file.
    std::set<std::string> inDocs;
    for (const auto& [path, item] : written) {
      if (path.rfind("docs/", 0) == 0) inDocs.insert(path);
      EXPECT_EQ(live.count(path), 0u) << "a live file in the deleted view: " << path;
    }
    EXPECT_EQ(inDocs, std::set<std::string>{"docs/removed.doc"});
    EXPECT_EQ(written.count("many"), 0u) << "nothing deleted below it";
    EXPECT_EQ(presenter.last.filesExported, presenter.last.filesToExport);
    EXPECT_EQ(presenter.last.bytesExported, presenter.last.bytesToExport);
  }
}

TEST(ExportAgain, ASecondExportReplacesFilesAndMergesFolders) {
  VolumeSet set;
  ASSERT_TRUE(test::ReadFixtureVolume("ntfs.img", 0, set, kViewExistingFiles));
  const std::uint32_t docs = IndexOf(set, kRootNodeId, u"docs");
  const std::uint32_t readme = IndexOf(set, kRootNodeId, u"README.TXT");
  const std::uint32_t empty = IndexOf(set, kRootNodeId, u"empty.txt");
  test::TempDir dir;
  test::PrepareRun();
  SilentPresenter quiet;
  ASSERT_TRUE(RunExport(set, FromUtf8(dir.path()), {docs, readme, empty}, quiet));
  const std::string readmeSha = test::Sha256OfFile(dir.File("README.TXT"));
  auto first = test::WrittenTree(dir.path());

  // The user changes the copies and adds a file of their own.
  test::WriteWholeFile(dir.File("README.TXT"), std::string(5000, 'x'));  // longer than the original
  test::WriteWholeFile(dir.File("empty.txt"), "not empty any more");
  test::WriteWholeFile(dir.File("docs/mine.txt"), "keep me");
  test::PrepareRun();
  ASSERT_TRUE(RunExport(set, FromUtf8(dir.path()), {docs, readme, empty}, quiet));

  auto second = test::WrittenTree(dir.path());
  EXPECT_EQ(test::Sha256OfFile(dir.File("README.TXT")), readmeSha) << "replaced and cut to length";
  EXPECT_EQ(second["empty.txt"].size, 0u);
  EXPECT_EQ(test::ReadWholeFile(dir.File("docs/mine.txt")), "keep me") << "merged, not replaced";
  second.erase("docs/mine.txt");
  std::set<std::string> a;
  std::set<std::string> b;
  for (auto& [path, item] : first) a.insert(path);
  for (auto& [path, item] : second) b.insert(path);
  EXPECT_EQ(a, b) << "no numbered copies on a second export";
}

}  // namespace
}  // namespace kestrum
