// FAT volumes as other systems and damage leave them: made by mkfs.vfat and
// mtools, then edited byte by byte where no Linux tool writes the case.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/text.h"
#include "fat_test_support.h"
#include "fs/fat/fat_export.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_reader.h"
#include "fs/tree/node_array.h"
#include "support/flat_json.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"

namespace kestrum {
namespace {

using Paths = std::vector<std::string>;

// The paths a view shows (1 existing, 2 deleted), LostFile included.
Paths ViewPaths(const VolumeDescriptor& v, std::int32_t view) {
  Paths paths;
  for (const auto& [path, index] : test::TreePaths(v, view)) paths.push_back(path);
  return paths;
}

// The bytes the copy routine gives back for the node at `path`.
std::string Exported(const VolumeDescriptor& v, const std::string& path, const test::TempDir& dir) {
  const auto paths = test::TreePaths(v);
  auto it = paths.find(path);
  if (it == paths.end()) return "(not listed)";
  OutputFile out;
  EXPECT_TRUE(out.Create(dir.File("out.bin")));
  StatusMessage status;
  EXPECT_TRUE(ExportFatFile(v, NodesOf(v)->nodes[it->second], out, status)) << path;
  out.Close();
  return test::ReadWholeFile(dir.File("out.bin"));
}

// The bytes a run of the test build read, from its KESTRUM_TEST_READ_LOG.
std::uint64_t BytesRead(const std::string& log) {
  std::uint64_t bytes = 0;
  for (const std::string& line : test::Lines(test::ReadWholeFile(log))) bytes += std::stoull(line.substr(line.find(' ') + 1));
  return bytes;
}

VolumeDescriptor ReadImage(const test::MtoolsFat& fat) {
  test::PrepareRun();
  VolumeDescriptor v = fat.Descriptor();
  EXPECT_TRUE(ReadFatVolume(v)) << fat.path();
  return v;
}

// Systems that write 8.3 names themselves may put spaces inside them; only
// the padding at the end of each part goes.
TEST(ForeignFat, ShortNamesKeepTheSpacesInsideThem) {
  test::TempDir dir;
  test::MtoolsFat fat(dir.File("pad.img"), "16", "16M", "PADS");
  fat.Run({"mmd", "::pad"});
  for (char i : {'0', '1', '2'}) fat.Put(std::string("pad/PADX000") + i + ".XPD", std::string("pad ") + i);
  fat.Put("pad/AB.E", "short");
  ASSERT_EQ(fat.EditEntries("PADX000", [](std::uint8_t* e) { e[3] = ' ', e[8] = ' '; }), 3);
  ASSERT_EQ(fat.EditEntries("AB      E  ", [](std::uint8_t* e) { e[3] = 'C', e[9] = 'F'; }), 1);

  VolumeDescriptor v = ReadImage(fat);
  EXPECT_EQ(ViewPaths(v, 1), (Paths{"LostFile", "pad", "pad/AB C.EF", "pad/PAD 0000. PD", "pad/PAD 0001. PD",
                                    "pad/PAD 0002. PD"}));
  EXPECT_EQ(Exported(v, "pad/PAD 0001. PD", dir), "pad 1");
  EXPECT_EQ(Exported(v, "pad/AB C.EF", dir), "short");
}

// A deleted long-name part whose attribute byte was damaged is no short
// entry (UTF-16 text and FFFF padding in its name, a size of 4 GiB - 1): it
// still names the short entry its checksum fits, and nothing of it is listed
// on its own; nor is a deleted entry larger than the volume.
TEST(ForeignFat, DamagedDeletedLongNamePartsStillNameTheirFile) {
  test::TempDir dir;
  test::MtoolsFat fat(dir.File("lfn.img"), "32", "40M", "LFNS");
  std::string content;
  for (int i = 0; i < 3000; ++i) content += static_cast<char>('a' + i % 26);
  fat.Put("a removed long name file.txt", content);
  fat.Put("GONE.BIN", "gone");
  fat.Put("KEPT.TXT", "kept");
  fat.Run({"mdel", "::a removed long name file.txt", "::GONE.BIN"});
  // Parts 1 ("a rem…") and 3 ("xt", the terminator and FFFF padding).
  ASSERT_EQ(fat.EditEntries(std::string_view("\xE5" "a\0 \0r\0e\0m\0", 11), [](std::uint8_t* e) { e[11] = 0x20; }), 1);
  ASSERT_EQ(fat.EditEntries(std::string_view("\xE5" "x\0t\0\0\0\xFF\xFF\xFF\xFF", 11),
                            [](std::uint8_t* e) { e[11] = 0x00; }),
            1);
  ASSERT_EQ(fat.EditEntries("\xE5ONE    BIN", [](std::uint8_t* e) { std::fill(e + 28, e + 32, 0xFF); }), 1);

  VolumeDescriptor v = ReadImage(fat);
  EXPECT_EQ(ViewPaths(v, 1), (Paths{"KEPT.TXT", "LostFile"}));
  EXPECT_EQ(ViewPaths(v, 2), (Paths{"LostFile", "a removed long name file.txt"}));
  EXPECT_TRUE(Exported(v, "a removed long name file.txt", dir) == content) << "the content as written";
}

// The first cluster of each folder, as the reader found it.
std::map<std::string, std::uint32_t> FolderClusters(const VolumeDescriptor& v) {
  std::map<std::string, std::uint32_t> clusters;
  for (const auto& [path, node] : test::ListTree(v)) {
    if (node.type == kFolder) clusters[path] = node.location;
  }
  return clusters;
}

// Folders no entry leads to keep their "." and ".." clusters: they come back
// under LostFile, in both views, named by their cluster; a stale copy of a
// folder (its "." fixed to its own cluster) does not take the subfolders
// whose ".." names the original.
TEST(ForeignFat, FoldersWhoseEntriesAreGoneComeBackUnderLostFile) {
  test::TempDir dir;
  struct Scenario {
    const char* what;
    const char* bits;
    void (*lose)(test::MtoolsFat& fat, const std::map<std::string, std::uint32_t>& clusters);
    // Paths below LostFile, with "D" for "Dir" and the cluster of `docs`, "C" for the copy's.
    Paths lost;
    Paths kept;
  };
  const Scenario scenarios[] = {
      {"a quick format (mkfs.vfat again) and a stale copy of a folder", "32",
       [](test::MtoolsFat& fat, const std::map<std::string, std::uint32_t>& clusters) {
         test::MtoolsFat again(fat.path(), "32", "40M", "AGAIN");
         // The copy goes into filler.bin's first cluster, below the folder's.
         std::string bytes = test::ReadWholeFile(fat.path());
         const VolumeDescriptor v = again.Descriptor();
         const FatGeometry g = FatGeometryOf(v);
         const std::uint32_t copy = clusters.at("filler");
         const std::size_t from = g.ClusterSector(clusters.at("docs")) * kSectorSize;
         const std::size_t to = g.ClusterSector(copy) * kSectorSize;
         bytes.replace(to, g.ClusterBytes(), bytes.substr(from, g.ClusterBytes()));
         bytes[to + 20] = static_cast<char>(copy >> 16), bytes[to + 21] = static_cast<char>(copy >> 24);
         bytes[to + 26] = static_cast<char>(copy), bytes[to + 27] = static_cast<char>(copy >> 8);
         test::WriteWholeFile(fat.path(), bytes);
       },
       {"D", "D/a.txt", "D/sub", "D/sub/b.txt", "C", "C/a.txt", "C/sub"},
       {}},
      {"the entry of a folder in use overwritten by another", "16",
       [](test::MtoolsFat& fat, const std::map<std::string, std::uint32_t>&) {
         ASSERT_EQ(fat.EditEntries("DOCS       ", [](std::uint8_t* e) {
           std::copy_n("JUNK    TXT", 11, e);
           e[11] = 0x20;
           e[12] = 0;
           std::fill(e + 20, e + 32, 0);
         }), 1);
       },
       {"D", "D/a.txt", "D/sub", "D/sub/b.txt"},
       {"JUNK.TXT", "README.TXT", "filler.bin"}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.what);
    test::MtoolsFat fat(dir.File(std::string("lost") + s.bits + ".img"), s.bits, s.bits[0] == '3' ? "40M" : "16M",
                        "LOST");
    fat.Put("filler.bin", std::string(8192, 'f'));
    fat.Run({"mmd", "::docs", "::docs/sub"});
    fat.Put("docs/a.txt", "in docs");
    fat.Put("docs/sub/b.txt", std::string(3000, 'b'));
    fat.Put("README.TXT", "in the root");
    std::map<std::string, std::uint32_t> clusters = FolderClusters(ReadImage(fat));
    {
      // filler.bin is a file: its first cluster, for the copy.
      VolumeDescriptor v = ReadImage(fat);
      clusters["filler"] = test::ListTree(v).at("filler.bin").location;
    }
    ASSERT_LT(clusters["filler"], clusters["docs"]);
    s.lose(fat, clusters);

    VolumeDescriptor v = ReadImage(fat);
    auto named = [&](const std::string& path) {
      std::string out = "LostFile/Dir" + std::to_string(path[0] == 'D' ? clusters["docs"] : clusters["filler"]);
      return out + path.substr(1);
    };
    Paths existing = s.kept;
    existing.push_back("LostFile");
    for (const std::string& p : s.lost) existing.push_back(named(p));
    std::sort(existing.begin(), existing.end());
    EXPECT_EQ(ViewPaths(v, 1), existing);
    Paths deleted{"LostFile"};
    for (const std::string& p : s.lost) deleted.push_back(named(p));
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(ViewPaths(v, 2), deleted);
    EXPECT_EQ(Exported(v, named("D/a.txt"), dir), "in docs");
    EXPECT_TRUE(Exported(v, named("D/sub/b.txt"), dir) == std::string(3000, 'b'));

    // The deep scan reads the volume of the boot sector it finds the same way,
    // without reading its free space again: it saw every sector there that
    // opens a folder (the volume is 16 or 40 MiB, mostly free).
    const std::string state = dir.File(std::string("scan") + s.bits + ".kss");
    const test::CommandResult scan = test::RunCli({"scan", "--json", "--state", state, fat.path()});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    std::string found;
    for (const test::FlatObject& line : test::ParseJsonLines(scan.out)) {
      if (line.count("foundBy") && line.at("foundBy") == "bootSector") found = line.at("index").value_or("");
    }
    ASSERT_FALSE(found.empty()) << scan.out;
    const std::string log = dir.File(std::string("found") + s.bits + ".log");
    const test::CommandResult ls = test::RunCliWith({"KESTRUM_TEST_READ_LOG=" + log},
                                                    {"ls", "--json", fat.path(), "--scan", state, "--found", found});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_LT(BytesRead(log), 2u << 20);
    Paths listed;
    for (const test::FlatObject& line : test::ParseJsonLines(ls.out)) listed.push_back(line.at("path").value_or(""));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, existing);
  }
}

// The free clusters are most of a healthy volume: listing one with a few
// files reads its FAT and folders, not the free space (looking there for
// lost folders once read all 40 MB of this volume for every listing). A
// deleted file keeps the tree from being empty as a quick format leaves it.
TEST(ForeignFat, AHealthyVolumeIsListedWithoutReadingItsFreeClusters) {
  test::TempDir dir;
  test::MtoolsFat fat(dir.File("healthy.img"), "32", "40M", "HEALTHY");
  fat.Run({"mmd", "::docs"});
  fat.Put("docs/a.txt", "in docs");
  fat.Put("gone.bin", std::string(5000, 'g'));
  fat.Run({"mdel", "::gone.bin"});
  const std::string log = dir.File("reads.log");
  const test::CommandResult ls = test::RunCliWith({"KESTRUM_TEST_READ_LOG=" + log}, {"ls", "--json", fat.path()});
  ASSERT_EQ(ls.exitCode, 0) << ls.err;
  EXPECT_NE(ls.out.find("docs/a.txt"), std::string::npos) << ls.out;
  EXPECT_LT(BytesRead(log), 2u << 20) << "of a 40 MiB volume";
}

}  // namespace
}  // namespace kestrum
