// The recovery chance of deleted files, against The Sleuth Kit's view of
// their clusters: volumes on which the real drivers deleted files and then
// reused a first cluster of one of them and a later cluster of another.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "../export/loop_mount.h"
#include "support/fls.h"
#include "support/flat_json.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCommand;

// Through the mount: six files, each with a spacer after it, and a filler
// to the end of the volume; two of the six deleted, a file written into
// their two holes (so it lies in two pieces) and deleted again; then the
// spacer before the second hole grows by one cluster, into it. The first
// hole is then free, the second one partly in use again.
void ReuseClusters(const std::string& mountPoint) {
  const std::string script =
      "set -e; cd '" + mountPoint + "'; "
      "for i in 1 2 3 4 5 6; do head -c 8192 /dev/urandom > h$i; head -c 8192 /dev/urandom > s$i; done; "
      "dd if=/dev/urandom of=fill bs=4096 2>/dev/null || true; sync; "
      "rm h2 h4; sync; head -c 16384 /dev/urandom > b; sync; rm b; sync; "
      "head -c 4096 /dev/urandom >> s3; sync";
  test::CommandResult r = RunCommand({"sh", "-c", script});
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

// What The Sleuth Kit says of one data unit (`blkstat`).
bool Allocated(const std::string& image, std::uint64_t unit) {
  test::CommandResult r = RunCommand({"blkstat", image, std::to_string(unit)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out.find("Not Allocated") == std::string::npos && r.out.find("Allocated") != std::string::npos;
}

// The chance the clusters' states give: the first in use again, some in
// use again, or all free.
std::string ChanceOf(const std::string& image, const std::vector<std::uint64_t>& units) {
  if (units.empty()) return "unknown";
  if (Allocated(image, units[0])) return "overwritten";
  for (std::uint64_t u : units) {
    if (Allocated(image, u)) return "partial";
  }
  return "good";
}

std::vector<std::uint64_t> Numbers(const std::string& text) {
  std::vector<std::uint64_t> out;
  std::istringstream in(text);
  for (std::uint64_t n; in >> n;) out.push_back(n);
  return out;
}

// NTFS keeps a deleted file's run list in its record: `istat` lists its
// clusters after the attributes.
std::vector<std::uint64_t> NtfsClusters(const std::string& image, std::uint64_t inode) {
  std::vector<std::string> lines = test::Lines(RunCommand({"istat", image, std::to_string(inode)}).out);
  std::vector<std::uint64_t> clusters;
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (lines[i].find("$DATA") != std::string::npos) break;
    std::vector<std::uint64_t> some = Numbers(lines[i]);
    clusters.insert(clusters.begin(), some.begin(), some.end());
  }
  return clusters;
}

std::string Field(const std::string& text, const std::string& label) {
  auto at = text.find(label);
  return at == std::string::npos ? "" : text.substr(at + label.size(), text.find('\n', at) - at - label.size());
}

// exFAT: `istat` cannot follow a deleted file whose chain is gone, so its
// first cluster and length come from its stream entry (the slot after the
// file entry The Sleuth Kit numbers it by); the content is taken as
// contiguous from there, as the reader takes it.
std::uint64_t Le(const std::string& bytes, std::size_t at, int n) {
  std::uint64_t v = 0;
  for (int i = n; i-- > 0;) v = v << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

// exFAT: `istat` cannot follow a deleted file whose chain is gone, so its
// first cluster and length come from its stream entry (the slot after the
// file entry The Sleuth Kit numbers it by: inodes count 32-byte slots from
// the cluster heap, from 3); the content is taken as contiguous from there,
// as the reader takes it. The heap and cluster size are the boot sector's.
std::vector<std::uint64_t> ExfatSectors(const std::string& image, std::uint64_t inode) {
  const std::string bytes = test::ReadWholeFile(image);
  const std::uint64_t heap = Le(bytes, 88, 4);
  const std::uint64_t clusterSectors = std::uint64_t{1} << Le(bytes, 109, 1);
  const std::size_t stream = static_cast<std::size_t>(heap * 512 + (inode - 3 + 1) * 32);
  EXPECT_EQ(Le(bytes, stream, 1) & 0x7F, 0x40u) << "no stream entry after inode " << inode;
  const std::uint64_t first = Le(bytes, stream + 20, 4), length = Le(bytes, stream + 24, 8);
  std::vector<std::uint64_t> sectors;
  const std::uint64_t clusters = (length + clusterSectors * 512 - 1) / (clusterSectors * 512);
  for (std::uint64_t c = 0; c < clusters; ++c) sectors.push_back(heap + (first - 2 + c) * clusterSectors);
  return sectors;
}

std::map<std::string, std::string> ListedChances(const std::string& image) {
  test::CommandResult r = test::RunCli({"ls", "--deleted", "--json", image});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, std::string> chances;
  for (test::FlatObject& o : test::ParseJsonLines(r.out)) {
    if (*o["type"] == "DeletedFile" && o.count("recovery")) chances[*o["path"]] = *o["recovery"];
  }
  return chances;
}

class ReusedClusters : public ::testing::TestWithParam<std::string> {};

TEST_P(ReusedClusters, ChanceOfEveryDeletedFileIsWhatTheClusterStatesSay) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root for loop devices and FUSE mounts";
  const std::string fs = GetParam();
  test::TempDir dir;
  std::string image;
  {
    std::string why;
    auto mount = test::LoopMount::Create(dir.path(), fs, false, 8, why);
    ASSERT_TRUE(mount) << why;
    image = mount->image;
    ReuseClusters(mount->mountPoint);
  }
  const std::map<std::string, std::string> listed = ListedChances(image);
  std::set<std::string> seen;
  for (const test::FlsEntry& e : test::Fls(image, 0)) {
    if (!e.deleted || e.Directory() || e.Virtual() || e.Metadata()) continue;
    SCOPED_TRACE(e.path);
    const std::string expected =
        fs == "ntfs" ? ChanceOf(image, NtfsClusters(image, e.inode)) : ChanceOf(image, ExfatSectors(image, e.inode));
    auto it = listed.find(e.path);
    ASSERT_NE(it, listed.end()) << "not listed as deleted";
    EXPECT_EQ(it->second, expected);
    seen.insert(expected);
  }
  // The volume holds a file whose first cluster is used again and one whose
  // later cluster is: a reader that took every cluster for free fails here.
  EXPECT_TRUE(seen.count("overwritten")) << "the drivers did not reuse a first cluster";
  EXPECT_TRUE(seen.count("partial")) << "the drivers did not reuse a later cluster";
}

INSTANTIATE_TEST_SUITE_P(Drivers, ReusedClusters, ::testing::Values("ntfs", "exfat"),
                         [](const auto& info) { return info.param; });

// FAT32 stores a cluster's high word apart; some systems clear or garble it
// on delete. A deleted entry whose cluster with the high word lies outside
// the volume is read from the low word alone — the file comes back whole.
TEST(DeletedFat32Entry, AHighWordPointingOutsideTheVolumeFallsBackToTheLowWord) {
  test::TempDir dir;
  const std::string image = dir.File("fat32.img"), content = dir.File("a.bin");
  ASSERT_EQ(RunCommand({"truncate", "-s", "40M", image}).exitCode, 0);
  ASSERT_EQ(RunCommand({"mkfs.vfat", "-F", "32", "-s", "1", image}).exitCode, 0);
  test::WriteWholeFile(content, std::string(6000, 'a') + std::string(2000, 'z'));
  for (const char* name : {"a.bin", "b.bin"}) {
    test::CommandResult r = RunCommand({"mcopy", "-i", image, content, std::string("::") + name});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  ASSERT_EQ(RunCommand({"mdel", "-i", image, "::a.bin"}).exitCode, 0);

  // The deleted short entry "?       BIN" of the root: its high word (byte 20) garbled.
  const std::string stat = RunCommand({"fsstat", image}).out;
  const std::uint64_t root = std::stoull(Field(stat, "Root Directory: "));
  std::string bytes = test::ReadWholeFile(image);
  std::size_t entry = std::string::npos;
  for (std::size_t at = root * 512; at < root * 512 + 512; at += 32) {
    if (static_cast<std::uint8_t>(bytes[at]) == 0xE5 && bytes.compare(at + 1, 10, "       BIN") == 0 &&
        bytes[at + 11] != 0x0F) {
      entry = at;
    }
  }
  ASSERT_NE(entry, std::string::npos) << "no deleted entry of a.bin in the root";
  const std::uint64_t low = Le(bytes, entry + 26, 2);
  bytes[entry + 20] = bytes[entry + 21] = '\x0F';
  test::WriteWholeFile(image, bytes);

  const std::uint64_t dataStart = std::stoull(Field(stat, "Data Area: "));
  ASSERT_EQ(ChanceOf(image, {dataStart + low - 2}), "good") << "cluster " << low;
  const std::map<std::string, std::string> listed = ListedChances(image);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed.begin()->second, "good");
  const std::string target = dir.File("out");
  std::filesystem::create_directory(target);
  test::CommandResult r = test::RunCli({"export", "--deleted", image, target, listed.begin()->first});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadWholeFile(target + "/" + listed.begin()->first), test::ReadWholeFile(content));
}

// Deleted files that lay among each other, written by mtools on a volume
// mkfs.vfat made, then deleted with mdel: ALPHA.BIN and BRAVO.BIN
// interleaved cluster by cluster (written into the holes of one-cluster
// fillers deleted in turn), CHARLIE.BIN whose second cluster is DELTA.BIN's
// first, and ECHO.BIN in one piece. Zero-length files take over the
// fillers' entries, so that these five are the only deleted ones. mtools
// allocates from the start of the FAT when FAT32's hint of the next free
// cluster (FSInfo, byte 492) says it is unknown.
class FilesAmongDeletedFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(FilesAmongDeletedFiles, EachComesBackWholeAndThoseThatLayAmongOthersArePartial) {
  const bool fat32 = GetParam() == "fat32";
  test::TempDir dir;
  const std::string image = dir.File("v.img");
  ASSERT_EQ(RunCommand({"truncate", "-s", fat32 ? "40M" : "16M", image}).exitCode, 0);
  ASSERT_EQ(RunCommand({"mkfs.vfat", "-F", fat32 ? "32" : "16", "-s", "1", image}).exitCode, 0);
  const std::string hint =
      fat32 ? "printf '\\377\\377\\377\\377' | dd of=v.img bs=1 seek=1004 conv=notrunc 2>/dev/null" : ":";
  const std::string script =
      "set -e; cd '" + dir.path() + "'; export MTOOLS_SKIP_CHECK=1; "
      "put() { head -c $2 /dev/urandom > $1; mcopy -i v.img $1 ::$1; }; "
      "gone() { for f; do mdel -i v.img ::$f; done; " + hint + "; }; "
      "for i in 0 1 2 3 4 5; do put P$i 512; done; "
      "gone P0 P2 P4; put ALPHA.BIN 1536; gone P1 P3 P5; put BRAVO.BIN 1400; "
      "put Q0 512; put Q1 512; gone Q0; put CHARLIE.BIN 1500; gone Q1; put DELTA.BIN 512; "
      "put ECHO.BIN 3000; for z in Z1 Z2 Z3; do put $z 0; done; "
      "gone ALPHA.BIN BRAVO.BIN CHARLIE.BIN DELTA.BIN ECHO.BIN";
  test::CommandResult made = RunCommand({"sh", "-c", script});
  ASSERT_EQ(made.exitCode, 0) << made.err;

  // A deleted short name has lost its first letter.
  const std::map<std::string, std::string> chances = {{"ALPHA.BIN", "partial"},   {"BRAVO.BIN", "partial"},
                                                      {"CHARLIE.BIN", "partial"}, {"DELTA.BIN", "good"},
                                                      {"ECHO.BIN", "good"}};
  std::map<std::string, std::string> listed;
  for (const auto& [name, chance] : chances) listed["_" + name.substr(1)] = chance;
  EXPECT_EQ(ListedChances(image), listed);
  const std::string target = dir.File("out");
  std::filesystem::create_directory(target);
  std::vector<std::string> args = {"export", "--deleted", image, target};
  for (const auto& [name, chance] : listed) args.push_back(name);
  test::CommandResult r = test::RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const auto& [name, chance] : chances) {
    EXPECT_EQ(test::ReadWholeFile(target + "/_" + name.substr(1)), test::ReadWholeFile(dir.File(name))) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Fat, FilesAmongDeletedFiles, ::testing::Values("fat16", "fat32"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace kestrum
