// The reader and the copy routines on small volumes built byte by byte:
// long directories, chains that loop, directories that point back up the
// tree, boot sectors that describe nothing, read faults and stops.

#include "fs/fat/fat_reader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fat_test_support.h"
#include "fs/fat/fat_export.h"
#include "fs/tree/node_array.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::DirBytes;
using test::ShortEntry;

constexpr std::uint8_t kArchive = 0x20;
constexpr std::uint8_t kDir = 0x10;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Name11(const char* base, int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%s%04d", base, n);
  std::string s(buf);
  s.resize(8, ' ');
  return s + "TXT";
}

class SyntheticVolume : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  bool Fat32() const { return GetParam(); }
  std::uint32_t End() const { return Fat32() ? 0x0FFFFFFF : 0xFFFF; }

  bool Read(test::SyntheticFat& fat) {
    path_ = dir_.File("volume.img");
    volume_ = fat.Write(path_);
    return ReadFatVolume(volume_);
  }

  // Copies a node into a file of the temporary folder; the bytes copied.
  bool Export(const std::string& path, std::string& content, StatusMessage* statusOut = nullptr) {
    auto tree = test::ListTree(volume_);
    EXPECT_TRUE(tree.count(path)) << path;
    if (!tree.count(path)) return false;
    const FileNode& node = NodesOf(volume_).nodes[tree[path].index];
    OutputFile out;
    EXPECT_TRUE(out.Create(dir_.File("out.bin")));
    StatusMessage status;
    bool ok = ExportFatFile(volume_, node, out, status);
    out.Close();
    content = test::ReadWholeFile(dir_.File("out.bin"));
    if (statusOut) *statusOut = status;
    return ok;
  }

  std::int64_t OutputMtime() {
    struct stat st {};
    ::stat(dir_.File("out.bin").c_str(), &st);
    return st.st_mtime;
  }

  test::TempDir dir_;
  std::string path_;
  VolumeDescriptor volume_;
};

TEST_P(SyntheticVolume, ReadsTheTreeLinksItAndCountsAsItGoes) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("VOLUME     ", 0x08));
  test::Entry a = ShortEntry("A       TXT", kArchive, 3, 10);
  WriteLe16(a, 22, test::DosTime(12, 0, 0));
  WriteLe16(a, 24, test::DosDate(2020, 1, 1));
  root.Add(a);
  root.AddLong(u"Sub folder", ShortEntry("SUBFOL~1   ", kDir, 4));
  root.Add(ShortEntry("$META   DAT", kArchive, 0, 0));  // never linked
  fat.PutRoot(root.bytes);
  fat.Chain({3});
  DirBytes sub;
  sub.AddDots(4, 0);
  sub.AddLong(u"inner file.bin", ShortEntry("INNERF~1BIN", kArchive, 5, 700));
  sub.Add(ShortEntry("EMPTY      ", kDir, 0));
  fat.Put(4, sub.bytes);
  fat.Chain({4});
  fat.Chain({5, 6});

  ASSERT_TRUE(Read(fat));
  auto tree = test::ListTree(volume_);
  std::vector<std::string> paths;
  for (const auto& [p, n] : tree) paths.push_back(p);
  EXPECT_EQ(paths, (std::vector<std::string>{"A.TXT", "LostFile", "Sub folder", "Sub folder/EMPTY",
                                             "Sub folder/inner file.bin"}));
  EXPECT_EQ(tree["A.TXT"].mtime, 1577880000);
  EXPECT_EQ(tree["Sub folder/inner file.bin"].size, 700u);
  EXPECT_EQ(tree["Sub folder/inner file.bin"].location, 5u);
  const auto& nodes = NodesOf(volume_).nodes;
  EXPECT_EQ(nodes.back().id, kLostFileId);
  EXPECT_EQ(nodes.back().type, kDeletedFolder);
  ASSERT_TRUE(volume_.readerState.fat);
  EXPECT_EQ(volume_.readerState.fat->size(), fat.FatSectors() * 512u);
  // The last message counts everything appended.
  StatusMessage m;
  ASSERT_TRUE(TakeStatus(m));
  EXPECT_EQ(m.kind, StatusKind::kParse);
  EXPECT_EQ(m.parse.files, 3u);    // A.TXT, $META.DAT, inner file.bin
  EXPECT_EQ(m.parse.folders, 2u);  // Sub folder, EMPTY
}

TEST_P(SyntheticVolume, DirectoriesLongerThanThirtyOneClustersAreReadWhole) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("BIG        ", kDir, 10));
  fat.PutRoot(root.bytes);
  // 40 clusters of 16 entries, scattered: every other cluster, backwards.
  std::vector<std::uint32_t> chain{10};
  for (std::uint32_t k = 1; k < 40; ++k) chain.push_back(200 - 2 * k);
  fat.Chain(chain);
  int n = 0;
  for (std::size_t k = 0; k < chain.size(); ++k) {
    DirBytes part;
    if (k == 0) part.AddDots(10, 0);
    while (part.EntryCount() < 16) part.Add(ShortEntry(Name11("F", n++), kArchive, 0, 1));
    fat.Put(chain[k], part.bytes);
  }
  ASSERT_TRUE(Read(fat));
  auto tree = test::ListTree(volume_);
  int listed = 0;
  for (const auto& [p, node] : tree) listed += p.rfind("BIG/", 0) == 0;
  EXPECT_EQ(listed, 40 * 16 - 2);
  EXPECT_TRUE(tree.count("BIG/F0637.TXT")) << "the last entry of the last cluster";
}

TEST(SyntheticFat16, RootRegionsLongerThanThirtyOneSectorsAreReadWhole) {
  test::PrepareRun();
  test::SyntheticFat fat(false, 1024);  // 64 sectors of root entries
  DirBytes root;
  for (int n = 0; n < 1024; ++n) root.Add(ShortEntry(Name11("R", n), kArchive, 0, 0));
  fat.PutRoot(root.bytes);
  test::TempDir dir;
  VolumeDescriptor v = fat.Write(dir.File("root.img"));
  ASSERT_TRUE(ReadFatVolume(v));
  auto tree = test::ListTree(v);
  EXPECT_EQ(tree.size(), 1024u + 1);  // and LostFile
  EXPECT_TRUE(tree.count("R1023.TXT"));
}

TEST_P(SyntheticVolume, ADirectoryChainThatLoopsEnds) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("LOOP       ", kDir, 4));
  fat.PutRoot(root.bytes);
  // A full first cluster (a zero entry would end the directory there).
  DirBytes first;
  first.AddDots(4, 0);
  std::vector<std::string> expected;
  for (int n = 0; first.EntryCount() < 16; ++n) {
    first.Add(ShortEntry(Name11("P", n), kArchive, 0, 0));
    expected.push_back("P" + std::string(4 - std::to_string(n).size(), '0') + std::to_string(n) + ".TXT");
  }
  fat.Put(4, first.bytes);
  // Full as well, so that reading the loop round again would list repeats.
  DirBytes second;
  for (int n = 0; second.EntryCount() < 16; ++n) {
    second.Add(ShortEntry(Name11("Q", n), kArchive, 0, 0));
    expected.push_back("Q" + std::string(4 - std::to_string(n).size(), '0') + std::to_string(n) + ".TXT");
  }
  fat.Put(6, second.bytes);
  fat.SetFat(4, 6);
  fat.SetFat(6, 4);  // back to the start
  ASSERT_TRUE(Read(fat));
  EXPECT_EQ(test::ChildNames(volume_, test::ListTree(volume_)["LOOP"].index), expected);
}

TEST_P(SyntheticVolume, SubdirectoriesPointingUpTheTreeAreNotReadAgain) {
  test::SyntheticFat fat(Fat32());
  const std::uint32_t rootCluster = Fat32() ? 2 : 0;
  DirBytes root;
  root.Add(ShortEntry("A          ", kDir, 4));
  root.Add(ShortEntry("TOROOT     ", kDir, rootCluster));
  root.Add(ShortEntry("ROOTFILETXT", kArchive, 0, 0));
  fat.PutRoot(root.bytes);
  DirBytes a;
  a.AddDots(4, 0);
  a.Add(ShortEntry("SELF       ", kDir, 4));    // itself
  a.Add(ShortEntry("B          ", kDir, 5));
  a.Add(ShortEntry("INA     TXT", kArchive, 0, 0));
  fat.Put(4, a.bytes);
  fat.Chain({4});
  DirBytes b;
  b.AddDots(5, 4);
  b.Add(ShortEntry("UP         ", kDir, 4));      // its parent
  b.Add(ShortEntry("TOP        ", kDir, rootCluster));
  b.Add(ShortEntry("INB     TXT", kArchive, 0, 0));
  fat.Put(5, b.bytes);
  fat.Chain({5});

  ASSERT_TRUE(Read(fat));
  auto tree = test::ListTree(volume_);
  std::vector<std::string> paths;
  for (const auto& [p, n] : tree) paths.push_back(p);
  EXPECT_EQ(paths, (std::vector<std::string>{"A", "A/B", "A/B/INB.TXT", "A/B/TOP", "A/B/UP", "A/INA.TXT",
                                             "A/SELF", "LostFile", "ROOTFILE.TXT", "TOROOT"}));
  for (const char* folder : {"A/SELF", "A/B/UP", "A/B/TOP", "TOROOT"}) {
    EXPECT_TRUE(test::ChildNames(volume_, tree[folder].index).empty()) << folder;
  }
}

TEST_P(SyntheticVolume, ASubdirectoryWithoutDotEntriesIsReadOneClusterOnly) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("ODD        ", kDir, 8));
  fat.PutRoot(root.bytes);
  DirBytes first;
  first.Add(ShortEntry("FIRST   TXT", kArchive, 0, 0));
  fat.Put(8, first.bytes);
  DirBytes second;
  second.Add(ShortEntry("SECOND  TXT", kArchive, 0, 0));
  fat.Put(9, second.bytes);
  fat.Chain({8, 9});
  ASSERT_TRUE(Read(fat));
  EXPECT_EQ(test::ChildNames(volume_, test::ListTree(volume_)["ODD"].index),
            std::vector<std::string>{"FIRST.TXT"});
}

TEST_P(SyntheticVolume, ExportFollowsTheChainAndSetsTheTime) {
  test::SyntheticFat fat(Fat32());
  auto content = Pattern(3 * 512 + 100, 1);
  DirBytes root;
  test::Entry e = ShortEntry("FRAG    BIN", kArchive, 30, static_cast<std::uint32_t>(content.size()));
  WriteLe16(e, 22, test::DosTime(10, 20, 30));
  WriteLe16(e, 24, test::DosDate(2023, 6, 15));
  root.Add(e);
  fat.PutRoot(root.bytes);
  std::vector<std::uint32_t> chain = {30, 12, 50, 13};
  fat.Chain(chain);
  for (std::size_t k = 0; k < chain.size(); ++k) {
    std::vector<std::uint8_t> part(content.begin() + k * 512,
                                   content.begin() + std::min(content.size(), (k + 1) * 512));
    fat.Put(chain[k], part);
  }
  ASSERT_TRUE(Read(fat));
  std::string out;
  StatusMessage status;
  EXPECT_TRUE(Export("FRAG.BIN", out, &status));
  EXPECT_EQ(out, AsString(content));
  EXPECT_EQ(status.exportStatus.currentFileCopied, content.size());
  EXPECT_EQ(status.exportStatus.bytesExported, content.size());
  EXPECT_EQ(OutputMtime(), 1686824430);  // 2023-06-15 10:20:30 UTC
}

TEST_P(SyntheticVolume, AFreeEntryInsideAFileGoesOnInTheNextCluster) {
  test::SyntheticFat fat(Fat32());
  auto content = Pattern(3 * 512, 9);
  const std::uint32_t last = fat.ClusterCount() + 1;
  DirBytes root;
  root.Add(ShortEntry("ZEROED  BIN", kArchive, 20, 3 * 512));
  // The same, starting at the volume's last cluster: there is no next one.
  root.Add(ShortEntry("ATEND   BIN", kArchive, last, 3 * 512));
  fat.PutRoot(root.bytes);
  fat.Put(20, content);  // clusters 20, 21, 22; their FAT entries stay 0
  fat.Put(last, std::vector<std::uint8_t>(content.begin(), content.begin() + 512));
  ASSERT_TRUE(Read(fat));
  std::string out;
  EXPECT_TRUE(Export("ZEROED.BIN", out));
  EXPECT_EQ(out, AsString(content));
  EXPECT_FALSE(Export("ATEND.BIN", out)) << "a copy that ran out of clusters is not complete";
  EXPECT_EQ(out.size(), 512u) << "what could be copied is kept";
}

TEST_P(SyntheticVolume, AFileChainThatLoopsEnds) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("LOOP    BIN", kArchive, 40, 10 * 512));
  root.Add(ShortEntry("SELF    BIN", kArchive, 60, 10 * 512));
  fat.PutRoot(root.bytes);
  fat.SetFat(40, 41);
  fat.SetFat(41, 40);
  fat.SetFat(60, 60);
  fat.Put(40, Pattern(1024, 3));
  ASSERT_TRUE(Read(fat));
  std::string out;
  EXPECT_FALSE(Export("LOOP.BIN", out));
  EXPECT_EQ(out, AsString(Pattern(1024, 3)));
  EXPECT_FALSE(Export("SELF.BIN", out));
  EXPECT_EQ(out.size(), 512u);
}

TEST_P(SyntheticVolume, AReadFaultIsZerosInTheCopyAndAStopLeavesAnEmptyOutput) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  test::Entry data = ShortEntry("DATA    BIN", kArchive, 30, 4 * 512);
  WriteLe16(data, 24, test::DosDate(2020, 1, 1));
  root.Add(data);
  root.Add(ShortEntry("EMPTY   TXT", kArchive, 0, 0));
  fat.PutRoot(root.bytes);
  fat.Chain({30, 31, 32, 33});
  fat.Put(30, Pattern(4 * 512, 5));
  ASSERT_TRUE(Read(fat));
  std::string out;
  testing::InjectReadFault(path_, fat.ClusterSector(32), 1);
  EXPECT_TRUE(Export("DATA.BIN", out));
  std::string withZeros = AsString(Pattern(4 * 512, 5));
  std::fill_n(withZeros.begin() + static_cast<std::ptrdiff_t>((fat.ClusterSector(32) - fat.ClusterSector(30)) * 512),
              512, '\0');
  EXPECT_EQ(out, withZeros);
  testing::ClearReadFaults();
  EXPECT_TRUE(Export("DATA.BIN", out));
  EXPECT_EQ(out, AsString(Pattern(4 * 512, 5)));
  EXPECT_EQ(OutputMtime(), 1577836800);
  RequestAbort();
  EXPECT_FALSE(Export("DATA.BIN", out));
  EXPECT_TRUE(out.empty());
  EXPECT_NE(OutputMtime(), 1577836800) << "no times on a failed copy";
  test::PrepareRun();
  EXPECT_TRUE(Export("EMPTY.TXT", out)) << "an empty file is a complete copy";
  EXPECT_TRUE(out.empty());
}

TEST_P(SyntheticVolume, BootSectorsThatDescribeNothingGiveAClearFalse) {
  struct Case {
    const char* what;
    void (*spoil)(std::vector<std::uint8_t>& boot);
  };
  const Case cases[] = {
      {"sectors per cluster 0", [](std::vector<std::uint8_t>& b) { b[13] = 0; }},
      {"FAT size 0",
       [](std::vector<std::uint8_t>& b) {
         WriteLe16(b, 22, 0);
         WriteLe32(b, 36, 0);
       }},
      {"no FATs", [](std::vector<std::uint8_t>& b) { b[16] = 0; }},
      {"total sectors below the data area",
       [](std::vector<std::uint8_t>& b) {
         WriteLe32(b, 32, 5);
       }},
      {"no total sectors at all",
       [](std::vector<std::uint8_t>& b) {
         WriteLe32(b, 32, 0);
         WriteLe16(b, 19, 0);
       }},
  };
  for (const Case& c : cases) {
    test::SyntheticFat fat(Fat32());
    DirBytes root;
    root.Add(ShortEntry("FILE    BIN", kArchive, 3, 100));
    fat.PutRoot(root.bytes);
    c.spoil(fat.BootSector());
    EXPECT_FALSE(Read(fat)) << c.what;
    FileNode node;
    node.location = 3;
    node.size = 100;
    OutputFile out;
    ASSERT_TRUE(out.Create(dir_.File("out.bin")));
    StatusMessage status;
    EXPECT_FALSE(ExportFatFile(volume_, node, out, status)) << c.what;
  }
  if (Fat32()) {
    for (std::uint32_t rootCluster : {0u, 1u, 0x0FFFFFFFu}) {
      test::SyntheticFat fat(true);
      WriteLe32(fat.BootSector(), 44, rootCluster);
      EXPECT_FALSE(Read(fat)) << "root cluster " << rootCluster;
    }
  }
  test::SyntheticFat fat(Fat32());
  VolumeDescriptor missing = fat.Write(dir_.File("x.img"));
  missing.diskPath = u"/nonexistent/disk.img";
  EXPECT_FALSE(ReadFatVolume(missing)) << "a disk that cannot be opened";
}

TEST_P(SyntheticVolume, AStopEndsTheReadUnlinked) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("FILE    BIN", kArchive, 3, 100));
  fat.PutRoot(root.bytes);
  RequestAbort();
  EXPECT_FALSE(Read(fat));
  test::PrepareRun();
  ASSERT_TRUE(Read(fat));
  EXPECT_EQ(test::ChildNames(volume_, kRootNodeId), (std::vector<std::string>{"FILE.BIN", "LostFile"}));
}

TEST_P(SyntheticVolume, TheLabelComesFromTheRootAndIsDecodedFromGbk) {
  test::SyntheticFat fat(Fat32());
  DirBytes root;
  root.Add(ShortEntry("\xCA\xFD\xBE\xDD\xC5\xCC     ", 0x08));
  fat.PutRoot(root.bytes);
  std::string path = dir_.File("label.img");
  VolumeDescriptor v = fat.Write(path);
  v.label = u"old";
  DeviceHandle device = OpenVolumeOnDisk(v);
  ASSERT_TRUE(device.IsOpen());
  EXPECT_TRUE(ReadFatLabel(v, device));
  EXPECT_EQ(v.label, u"数据盘");

  // No label: the root starts with a long-name entry (which has the label
  // bit too), a file, or a deleted label. The old label stays.
  const std::vector<DirBytes> noLabel = [] {
    std::vector<DirBytes> roots(3);
    roots[0].AddLong(u"first file has a long name", ShortEntry("FIRSTF~1TXT", kArchive));
    roots[1].Add(ShortEntry("README  TXT", kArchive));
    roots[2].Add(ShortEntry("\xE5" "ABEL      ", 0x08));
    return roots;
  }();
  for (const DirBytes& r : noLabel) {
    test::SyntheticFat other(Fat32());
    other.PutRoot(r.bytes);
    other.Write(path);
    v.label = u"old";
    EXPECT_FALSE(ReadFatLabel(v, device));
    EXPECT_EQ(v.label, u"old");
  }
  testing::InjectReadFault(path, Fat32() ? fat.ClusterSector(2) : fat.RootRegionSector(), 1);
  EXPECT_FALSE(ReadFatLabel(v, device));
  CloseDevice(device);
}

// Random damage to the FAT and the directories of a small volume: whatever
// it reads, the reader and the copy must finish without touching memory
// they do not own (the sanitizer build checks that).
TEST_P(SyntheticVolume, RandomDamageNeverCrashesOrHangs) {
  std::mt19937 random(GetParam() ? 1234 : 4321);
  for (int round = 0; round < 150; ++round) {
    test::SyntheticFat fat(Fat32());
    DirBytes root;
    root.AddLong(u"a folder with a long name", ShortEntry("AFOLDE~1   ", kDir, 5));
    root.Add(ShortEntry("FILE    BIN", kArchive, 8, 3000));
    fat.PutRoot(root.bytes);
    DirBytes sub;
    sub.AddDots(5, 0).AddLong(u"nested long file name.txt", ShortEntry("NESTED~1TXT", kArchive, 14, 900));
    sub.Add(ShortEntry("DEEPER     ", kDir, 6));
    fat.Put(5, sub.bytes);
    fat.Chain({5});
    fat.Chain({6});
    fat.Chain({8, 9, 10, 11, 12, 13});
    fat.Chain({14, 15});
    // Damage: random bytes in the FAT, the root and the directories.
    const std::uint64_t targets[] = {fat.FirstFatSector(), Fat32() ? fat.ClusterSector(2) : fat.RootRegionSector(),
                                     fat.ClusterSector(5), fat.ClusterSector(6)};
    int hits = 1 + static_cast<int>(random() % 40);
    for (int h = 0; h < hits; ++h) {
      std::uint64_t sector = targets[random() % 4];
      std::size_t offset = random() % 512;
      fat.image.Put8(sector, offset, static_cast<std::uint8_t>(random()));
    }
    if (random() % 4 == 0) fat.BootSector()[13] = static_cast<std::uint8_t>(random());
    if (!Read(fat)) continue;
    const auto& nodes = NodesOf(volume_).nodes;
    // Every cluster is read as a directory at most once.
    ASSERT_LE(nodes.size(), (fat.ClusterCount() + 2) * 16 + 8) << "round " << round;
    for (std::size_t i = kRootNodeId + 1; i + 1 < nodes.size(); ++i) {
      if (!nodes[i].IsFile()) continue;
      OutputFile out;
      ASSERT_TRUE(out.Create(dir_.File("fuzz.bin")));
      StatusMessage status;
      ExportFatFile(volume_, nodes[i], out, status);
      EXPECT_LE(status.exportStatus.currentFileCopied, nodes[i].size);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, SyntheticVolume, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Fat32" : "Fat16"; });

}  // namespace
}  // namespace kestrum
