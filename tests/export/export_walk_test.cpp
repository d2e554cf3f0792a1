// The export walk over hand-made volumes: hostile names, collisions, links in
// the target, rings in damaged trees, files found by content, stops and failures.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "export/export_files.h"
#include "export/export_names.h"
#include "export_test_support.h"
#include "fs/fat/fat_reader.h"
#include "../fs/fat/fat_test_support.h"
#include "support/run_state.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::Box;
using test::ContentVolume;
using test::Pattern;
using test::WithReadFaults;
using test::WrittenItem;

std::set<std::string> Paths(const std::map<std::string, WrittenItem>& written) {
  std::set<std::string> paths;
  for (const auto& [path, item] : written) paths.insert(path);
  return paths;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void ExpectAllInsideTarget(const Box& box) {
  for (const auto& [path, item] : test::WrittenTree(box.dir.path())) {
    EXPECT_TRUE(path == "out" || path.rfind("out/", 0) == 0) << "written outside the target: " << path;
  }
}

bool Export(const VolumeSet& set, const std::string& target, std::vector<std::uint32_t> indices,
            ExportStatus* last = nullptr) {
  test::PrepareRun();
  test::WatchingPresenter presenter;
  bool ok = RunExport(set, FromUtf8(target), indices, presenter);
  if (last != nullptr) *last = presenter.last;
  return ok;
}

TEST(HostileNames, ACraftedFatVolumeWritesNothingOutsideTheTarget) {
  test::SyntheticFat fat(false, 128);
  test::DirBytes root;
  std::uint32_t cluster = 3;
  std::map<std::string, std::string> expected;  // exported path → content
  auto file = [&](test::DirBytes& dir, const std::u16string& name, const std::string& shortName,
                  const std::string& content, const std::string& exportedAs) {
    auto entry = test::ShortEntry(shortName, 0x20, cluster, static_cast<std::uint32_t>(content.size()));
    name.empty() ? dir.Add(entry) : dir.AddLong(name, entry);
    fat.Put(cluster, Bytes(content));
    fat.Chain({cluster});
    ++cluster;
    expected[exportedAs] = content;
  };
  std::u16string longChinese = std::u16string(200, u'报') + u".txt";
  std::string longClean = ToUtf8(CleanExportName(longChinese));
  file(root, u"a/../../b", "F1      BIN", "one", "a_.._.._b");
  file(root, u"../../escape.txt", "F2      BIN", "two", ".._.._escape.txt");
  file(root, u"/tmp/abs.txt", "F3      BIN", "three", "_tmp_abs.txt");
  file(root, u"x/y", "F4      BIN", "four", "x_y");
  file(root, u"x_y", "F5      BIN", "five", "x_y (2)");  // came out the same: numbered, not overwritten
  file(root, longChinese, "F6      TXT", "six", longClean);
  file(root, u"", "A/B     TXT", "seven", "A_B.TXT");      // a slash inside a short name
  file(root, u"back\\slash", "F7      BIN", "eight", "back_slash");
  // A folder whose name ends in "/..": its file must stay inside it.
  const std::uint32_t folderCluster = cluster++;
  root.AddLong(u"dir/..", test::ShortEntry("D1         ", 0x10, folderCluster));
  test::DirBytes sub;
  sub.AddDots(folderCluster, 0);
  file(sub, u"inner.txt", "INNER   TXT", "nine", "dir_../inner.txt");
  fat.Put(folderCluster, sub.bytes);
  fat.Chain({folderCluster});
  fat.PutRoot(root.bytes);
  test::TempDir imageDir;
  VolumeDescriptor volume = fat.Write(imageDir.File("hostile.img"));
  ASSERT_TRUE(ReadFatVolume(volume));
  VolumeSet set;
  set.AddVolume(volume);
  set.SelectVolume(0, nullptr, kRootNodeId);

  Box box;
  ExportStatus last;
  ASSERT_TRUE(Export(set, box.target, {kRootNodeId}, &last));
  ExpectAllInsideTarget(box);
  auto written = test::WrittenTree(box.target);
  std::set<std::string> paths = {"LostFile", "dir_.."};
  for (const auto& [path, content] : expected) {
    paths.insert(path);
    EXPECT_EQ(test::ReadWholeFile(box.target + "/" + path), content) << path;
  }
  EXPECT_EQ(Paths(written), paths);
  EXPECT_LE(longClean.size(), kMaxNameBytes);
  EXPECT_EQ(last.filesExported, expected.size());
}

TEST(HostileNames, DotsNulsAndSlashesInATreeGetSafeNamesAndKeepTheirContent) {
  ContentVolume v;
  const std::uint32_t root = kRootNodeId;
  v.AddFile(u".", root, "dot");
  const std::uint32_t up = v.AddFolder(u"..", root);
  v.AddFile(u"passwd", up, "not the real one");
  v.AddFile(std::u16string(u"\0", 1), root, "nul");
  v.AddFile(std::u16string(u"a\0b", 3), root, "a-nul-b");
  v.AddFile(u"a/b", root, "a-slash-b");
  v.AddFile(u"/", root, "slash");
  const std::uint32_t odd = v.AddFolder(std::u16string(u"..\0/x", 5), root);
  const std::uint32_t upAgain = v.AddFolder(u"..", odd);
  v.AddFile(u"deep", upAgain, "deep down");
  v.tree.Add(u"", kFile, root, 3, 16);  // an empty name is no node at all
  VolumeSet set;
  v.Finish(set);

  Box box;
  ASSERT_TRUE(Export(set, box.target, {kRootNodeId}));
  ExpectAllInsideTarget(box);
  const std::map<std::string, std::string> expected = {
      {"_.", "dot"},           {"_../passwd", "not the real one"}, {"_", "nul"},
      {"a_b", "a-nul-b"},      {"a_b (2)", "a-slash-b"},           {"_ (2)", "slash"},
      {"..__x/_../deep", "deep down"},
  };
  std::set<std::string> paths = {"LostFile", "_..", "..__x", "..__x/_.."};
  for (const auto& [path, content] : expected) {
    paths.insert(path);
    EXPECT_EQ(test::ReadWholeFile(box.target + "/" + path), content) << path;
  }
  EXPECT_EQ(Paths(test::WrittenTree(box.target)), paths);
}

TEST(TargetContents, LinksAndSpecialFilesInTheTargetAreNeverWrittenThrough) {
  ContentVolume v;
  v.AddFile(u"link.txt", kRootNodeId, "exported");
  const std::uint32_t docs = v.AddFolder(u"docs", kRootNodeId);
  v.AddFile(u"x.txt", docs, "inside docs");
  v.AddFile(u"pipe", kRootNodeId, "not into a pipe");
  VolumeSet set;
  v.Finish(set);

  Box box;
  test::WriteWholeFile(box.dir.File("outside.txt"), "original");
  fs::create_directory(box.dir.File("elsewhere"));
  fs::create_symlink(box.dir.File("outside.txt"), box.target + "/link.txt");
  fs::create_directory_symlink(box.dir.File("elsewhere"), box.target + "/docs");
  ASSERT_EQ(::mkfifo((box.target + "/pipe").c_str(), 0644), 0);
  ASSERT_TRUE(Export(set, box.target, {kRootNodeId}));

  EXPECT_EQ(test::ReadWholeFile(box.dir.File("outside.txt")), "original");
  EXPECT_TRUE(fs::is_empty(box.dir.File("elsewhere")));
  EXPECT_EQ(test::ReadWholeFile(box.target + "/link (2).txt"), "exported");
  EXPECT_EQ(test::ReadWholeFile(box.target + "/docs (2)/x.txt"), "inside docs");
  EXPECT_EQ(test::ReadWholeFile(box.target + "/pipe (2)"), "not into a pipe");
}

TEST(DamagedTrees, AFolderRingEndsAndEachFolderIsWrittenOnce) {
  test::TreeBuilder tree;
  // A (6) names B (7) as its parent and B names A: each is the other's child.
  EXPECT_EQ(tree.Add(u"A", kFolder, 7), 6u);
  EXPECT_EQ(tree.Add(u"B", kFolder, 6), 7u);
  VolumeSet set;
  tree.Finish(set, kViewExistingFiles);
  Box box;
  // The walk itself, without the totals: the ring is out of the root's
  // reach, so only a caller handing in its index meets it.
  test::PrepareRun();
  StatusMessage status;
  ExportNodes(set, FromUtf8(box.target), {6}, status);
  EXPECT_EQ(Paths(test::WrittenTree(box.target)), (std::set<std::string>{"A", "A/B"}));
}

TEST(DamagedTrees, TheSameFolderTickedTwiceIsNumberedNotMixed) {
  ContentVolume v;
  const std::uint32_t docs = v.AddFolder(u"docs", kRootNodeId);
  v.AddFile(u"a.txt", docs, "a");
  VolumeSet set;
  v.Finish(set);
  Box box;
  ExportStatus last;
  ASSERT_TRUE(Export(set, box.target, {docs, docs}, &last));
  EXPECT_EQ(Paths(test::WrittenTree(box.target)),
            (std::set<std::string>{"docs", "docs/a.txt", "docs (2)", "docs (2)/a.txt"}));
  EXPECT_EQ(last.filesExported, 2u);
  EXPECT_EQ(last.filesToExport, 2u);
}

TEST(Selection, TickedItemsOfAFolderAndAZeroLengthFileAreCounted) {
  ContentVolume v;
  const std::uint32_t docs = v.AddFolder(u"docs", kRootNodeId);
  const std::uint32_t a = v.AddFile(u"a.txt", docs, "alpha");
  const std::uint32_t empty = v.tree.Add(u"empty.bin", kFile, docs, 0, 0);
  v.AddFile(u"unticked.txt", docs, "no");
  VolumeSet set;
  v.Finish(set);
  Box box;
  ExportStatus last;
  ASSERT_TRUE(Export(set, box.target, {a, empty}, &last));
  EXPECT_EQ(Paths(test::WrittenTree(box.target)), (std::set<std::string>{"a.txt", "empty.bin"}));
  EXPECT_EQ(fs::file_size(box.target + "/empty.bin"), 0u);
  EXPECT_EQ(last.filesExported, 2u);
  EXPECT_EQ(last.filesToExport, 2u);
  EXPECT_EQ(last.bytesExported, 5u);
  EXPECT_EQ(last.bytesToExport, 5u);
}

TEST(Selection, ATargetWhoseNameEndsInABackslashReceivesTheFilesItself) {
  ContentVolume v;
  v.AddFile(u"a.txt", kRootNodeId, "alpha");
  VolumeSet set;
  v.Finish(set);
  Box box;
  const std::string odd = box.target + "/name\\";
  fs::create_directory(odd);
  ASSERT_TRUE(Export(set, odd, {kRootNodeId}));
  EXPECT_EQ(test::ReadWholeFile(odd + "/a.txt"), "alpha");
  EXPECT_FALSE(fs::exists(box.target + "/name\\a.txt"));
}

TEST_F(WithReadFaults, AFoundFileOfOneMebibytePlusOneIsTwoChunksAndNeedsNoSlack) {
  constexpr std::uint32_t kFirst = 8;
  const std::string content = Pattern(kExportChunkBytes + 1);
  for (bool endsAtDiskEnd : {true, false}) {
    SCOPED_TRACE(endsAtDiskEnd ? "file ends in the disk's last sector" : "slack after the file");
    // Ending at the disk's end, the second chunk's full 2048 sectors cannot be read.
    test::SectorImage image(endsAtDiskEnd ? kFirst + kExportChunkSectors + 1 : 8192);
    image.PutAt(std::uint64_t{kFirst} * 512, content.data(), content.size());
    test::TempDir dir;
    image.WriteTo(dir.File("found.img"));
    VolumeDescriptor volume;
    volume.fsKind = kFsScanArea;
    volume.diskPath = FromUtf8(dir.File("found.img"));
    volume.sectorCount = static_cast<Sector64>(image.sectors());
    FileNode node;
    node.name = u"0001.jpg";
    node.type = kFile;
    node.size = content.size();
    node.location = kFirst;
    if (!endsAtDiskEnd) {
      // A bad sector in the slack after the last byte costs nothing.
      testing::InjectReadFault(dir.File("found.img"), kFirst + kExportChunkSectors + 100, 1);
    }
    test::PrepareRun();
    StatusMessage status;
    OutputFile out;
    ASSERT_TRUE(out.Create(dir.File("copy")));
    EXPECT_TRUE(ExportSignatureFile(node, status, out, volume));
    out.Close();
    EXPECT_EQ(test::ReadWholeFile(dir.File("copy")), content);
    EXPECT_EQ(status.exportStatus.currentFileCopied, content.size());
    EXPECT_EQ(status.exportStatus.bytesExported, content.size());

    // The sector that holds the last byte is read: when it fails, that byte
    // is a zero and the sector counted.
    testing::InjectReadFault(dir.File("found.img"), kFirst + kExportChunkSectors, 1);
    ASSERT_TRUE(out.Create(dir.File("copy")));
    EXPECT_TRUE(ExportSignatureFile(node, status, out, volume));
    EXPECT_EQ(out.Record().unreadableSectors, 1u);
    out.Close();
    std::string lastZero = content;
    lastZero.back() = '\0';
    EXPECT_EQ(test::ReadWholeFile(dir.File("copy")), lastZero);
    testing::ClearReadFaults();
  }
}

TEST_F(WithReadFaults, ABadSectorIsZerosInItsCopyAndTheExportGoesOn) {
  ContentVolume v;
  v.AddFile(u"bad.bin", kRootNodeId, Pattern(3000));
  v.AddFile(u"good.bin", kRootNodeId, "fine");
  VolumeSet set;
  v.Finish(set);
  testing::InjectReadFault(v.ImagePath(), 17, 1);  // inside bad.bin, which starts at 16
  Box box;
  ExportStatus last;
  EXPECT_TRUE(Export(set, box.target, {kRootNodeId}, &last)) << "only a stop fails an export";
  std::string withZeros = Pattern(3000);
  std::fill_n(withZeros.begin() + 512, 512, '\0');
  EXPECT_EQ(test::ReadWholeFile(box.target + "/bad.bin"), withZeros);
  EXPECT_EQ(test::ReadWholeFile(box.target + "/good.bin"), "fine");
  EXPECT_EQ(last.filesExported, 2u);
}

TEST(ExportStop, StoppingAfterTheFirstFileCutsTheCurrentCopyAndEndsTheExport) {
  ContentVolume v(300000);
  v.AddFile(u"first.txt", kRootNodeId, "first");
  // 64 MiB from sector 200, read 1 MiB at a time.
  v.tree.Add(u"big.bin", kFile, kRootNodeId, std::uint64_t{64} << 20, 200);
  v.AddFile(u"third.txt", kRootNodeId, "third");
  VolumeSet set;
  v.Finish(set);
  Box box;
  test::PrepareRun();
  // The copy of big.bin waits at its second MiB; the stop comes then.
  testing::CloseReadGate(v.ImagePath(), 200 + 2048, 1);
  test::WatchingPresenter presenter;
  bool stopped = false;
  presenter.onPoll = [&](ProgressSession& session) {
    if (stopped || testing::ReadsHeldAtGate() == 0) return;
    stopped = true;
    session.Abort();
    testing::OpenReadGate();
  };
  EXPECT_FALSE(RunExport(set, FromUtf8(box.target), {kRootNodeId}, presenter));
  testing::OpenReadGate();
  ASSERT_TRUE(stopped) << "the copy of big.bin never reached its second MiB";
  EXPECT_EQ(test::ReadWholeFile(box.target + "/first.txt"), "first");
  ASSERT_TRUE(fs::exists(box.target + "/big.bin"));
  EXPECT_EQ(fs::file_size(box.target + "/big.bin"), 0u) << "a found file is cut when stopped, never left half written";
  EXPECT_FALSE(fs::exists(box.target + "/third.txt"));
  EXPECT_LT(presenter.last.filesExported, 3u);
}

TEST(CopyRoutine, PartitionTypeDecidesBeforeTheFileSystemKind) {
  auto routine = [](std::uint8_t type, FsKind kind, bool exfatName) {
    VolumeDescriptor v;
    v.partitionType = type;
    v.fsKind = kind;
    if (exfatName) std::copy_n("EXFAT   ", 8, v.bootSector.begin() + 3);
    return ChooseCopyRoutine(v);
  };
  EXPECT_EQ(routine(0x07, kFsRebuiltExfat, false), CopyRoutine::kNtfs);
  EXPECT_EQ(routine(0x07, kFsNtfs, true), CopyRoutine::kExfat);
  EXPECT_EQ(routine(0x17, kFsUnknown, false), CopyRoutine::kNtfs);
  for (std::uint8_t type : {0x04, 0x06, 0x0B, 0x0C, 0x0E, 0x14, 0x16, 0x1B, 0x1C, 0x1E}) {
    EXPECT_EQ(routine(type, kFsScanArea, true), CopyRoutine::kFat) << int{type};
  }
  EXPECT_EQ(routine(0x00, kFsScanArea, false), CopyRoutine::kSignature);
  EXPECT_EQ(routine(0x83, kFsRebuiltFat, false), CopyRoutine::kContiguousClusters);
  EXPECT_EQ(routine(0x00, kFsRebuiltExfat, true), CopyRoutine::kRebuiltExfat);
  // A probed image without a partition type still has its reader.
  EXPECT_EQ(routine(0x00, kFsExfat, true), CopyRoutine::kExfat);
  EXPECT_EQ(routine(0x00, kFsFat32, false), CopyRoutine::kFat);
  EXPECT_EQ(routine(0x00, kFsUnknown, false), CopyRoutine::kNone);
}

}  // namespace
}  // namespace kestrum
