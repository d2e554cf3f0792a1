// kestrum-cli ls, run as a user runs it, against the fixture volumes.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCli;

std::string IsoUtc(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The listing of one view, by path.
std::map<std::string, test::FlatObject> Listing(const std::vector<std::string>& args) {
  auto r = RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, test::FlatObject> byPath;
  for (auto& object : test::ParseJsonLines(r.out)) {
    std::string path = *object["path"];
    EXPECT_EQ(byPath.count(path), 0u) << "listed twice: " << path;
    byPath[path] = object;
  }
  return byPath;
}

class EveryFixtureVolume : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(EveryFixtureVolume, ExistingViewIsExactlyWhatWasWrittenAndKept) {
  const std::vector<std::string>& param = GetParam();
  std::vector<std::string> args = {"ls", "--json", test::FixturePath(param[0])};
  if (param.size() > 2) args.insert(args.end(), {"--partition", param[2]});
  auto listing = Listing(args);
  std::set<std::string> expected = {"LostFile"};
  for (const test::ManifestEntry& e : test::LoadManifest(param[1])) {
    if (e.deleted) continue;
    expected.insert(e.path);
    ASSERT_EQ(listing.count(e.path), 1u) << "missing " << e.path;
    auto& object = listing[e.path];
    EXPECT_EQ(*object["type"], e.folder ? "Folder" : "File") << e.path;
    if (!e.folder) {
      EXPECT_EQ(*object["size"], std::to_string(e.size)) << e.path;
    }
    EXPECT_EQ(object["modified"].value_or("null"), IsoUtc(e.mtime)) << e.path;
  }
  std::set<std::string> listed;
  for (auto& [path, object] : listing) listed.insert(path);
  EXPECT_EQ(listed, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, EveryFixtureVolume,
    ::testing::Values(std::vector<std::string>{"ntfs.img", "ntfs.manifest.tsv"},
                      std::vector<std::string>{"fat16.img", "fat16.manifest.tsv"},
                      std::vector<std::string>{"fat32.img", "fat32.manifest.tsv"},
                      std::vector<std::string>{"exfat.img", "exfat.manifest.tsv"},
                      std::vector<std::string>{"ntfs2m.img", "ntfs2m.manifest.tsv"},
                      std::vector<std::string>{"exfatdel.img", "exfatdel.manifest.tsv"},
                      std::vector<std::string>{"disk.img", "disk.p1.manifest.tsv", "1"},
                      std::vector<std::string>{"disk.img", "disk.p6.manifest.tsv", "4"},
                      // Past 2^32 sectors, and sectors other than 512 bytes.
                      std::vector<std::string>{"big.img", "big.p1.manifest.tsv", "1"},
                      std::vector<std::string>{"big.img", "big.p2.manifest.tsv", "2"},
                      std::vector<std::string>{"ntfs4k.img", "ntfs4k.manifest.tsv"},
                      std::vector<std::string>{"fat4k.img", "fat4k.manifest.tsv"},
                      std::vector<std::string>{"exfat4k.img", "exfat4k.manifest.tsv"},
                      std::vector<std::string>{"ntfs2k.img", "ntfs2k.manifest.tsv"},
                      std::vector<std::string>{"fat1k.img", "fat1k.manifest.tsv"},
                      std::vector<std::string>{"ntfs512c.img", "ntfs512c.manifest.tsv"}));

// Files the fixtures delete last keep their clusters free: "good". Lines of
// the existing view carry no recovery field. (FAT names lose their first
// letter when deleted; the FAT tests check their chances.)
TEST(ListCommand, DeletedFilesSayHowLikelyTheyComeBack) {
  for (const char* name : {"ntfs", "exfatdel"}) {
    const std::string image = test::FixturePath(std::string(name) + ".img");
    auto deleted = Listing({"ls", "--deleted", "--json", image});
    int rated = 0;
    for (const test::ManifestEntry& e : test::LoadManifest(std::string(name) + ".manifest.tsv")) {
      if (!e.deleted || e.folder) continue;
      ASSERT_EQ(deleted.count(e.path), 1u) << name << ": " << e.path;
      EXPECT_EQ(deleted[e.path]["recovery"].value_or("none"), "good") << name << ": " << e.path;
      ++rated;
    }
    EXPECT_GE(rated, 1) << name;
    for (auto& [path, object] : Listing({"ls", "--json", image})) {
      EXPECT_FALSE(object["recovery"].has_value()) << name << ": " << path;
    }
  }
}

TEST(ListCommand, DeletedViewShowsTheDeletedItemsUnderTheirFolders) {
  for (const char* image : {"ntfs.img", "exfat.img"}) {
    auto listing = Listing({"ls", "--deleted", "--json", test::FixturePath(image)});
    for (const char* path : {"docs/removed.doc", "gone.txt", "trash/a.bin", "trash/sub/b.txt"}) {
      ASSERT_EQ(listing.count(path), 1u) << image << ": " << path;
      EXPECT_EQ(*listing[path]["type"], "DeletedFile") << image << ": " << path;
    }
    EXPECT_EQ(*listing["trash"]["type"], "DeletedFolder") << image;
    EXPECT_EQ(*listing["docs"]["type"], "Folder") << image << ": a live folder above a deleted file";
    EXPECT_EQ(listing.count("docs/readme.txt"), 0u) << image << ": live files stay out";
    EXPECT_EQ(listing.count("many"), 0u) << image << ": nothing deleted below it";
  }
}

TEST(ListCommand, TextListingMatchesTheSavedOutput) {
  // Run from the fixture folder so the saved texts hold no build paths.
  std::string dir = std::filesystem::path(test::FixturePath("exfat.img")).parent_path();
  auto saved = [](const std::string& name) {
    return test::ReadWholeFile(std::string(KESTRUM_TEST_SOURCE_DIR) + "/cli/golden/" + name);
  };
  auto ls = test::RunCommand({"sh", "-c", "cd '" + dir + "' && TZ=UTC '" KESTRUM_CLI_PATH "' ls --deleted exfat.img"});
  EXPECT_EQ(ls.exitCode, 0) << ls.err;
  EXPECT_EQ(ls.out, saved("ls_deleted_exfat.txt"));
  auto volumes = test::RunCommand({"sh", "-c", "cd '" + dir + "' && '" KESTRUM_CLI_PATH "' volumes disk.img"});
  EXPECT_EQ(volumes.exitCode, 0) << volumes.err;
  EXPECT_EQ(volumes.out, saved("volumes_disk.txt"));
}

TEST(ListCommand, ChoosingAVolumeOfADisk) {
  std::string disk = test::FixturePath("disk.img");
  auto ambiguous = RunCli({"ls", disk});
  EXPECT_EQ(ambiguous.exitCode, 2);
  EXPECT_NE(ambiguous.err.find("--partition"), std::string::npos) << ambiguous.err;
  EXPECT_EQ(RunCli({"ls", disk, "--partition", "5"}).exitCode, 2) << "only four volumes";
  EXPECT_EQ(RunCli({"ls", disk, "--partition", "0"}).exitCode, 2);
  EXPECT_EQ(RunCli({"ls", disk, "--partition", "x"}).exitCode, 2);
  EXPECT_EQ(RunCli({"ls"}).exitCode, 2);
  auto fat16 = Listing({"ls", "--json", "--partition", "3", disk});  // options anywhere
  EXPECT_EQ(fat16.count("many/f0000.txt"), 1u);
}

TEST(ListCommand, AVolumeWithoutAKnownFileSystemIsRefusedClearly) {
  test::TempDir dir;
  {
    std::ofstream raw(dir.File("raw.img"));
  }
  std::filesystem::resize_file(dir.File("raw.img"), 1 << 20);
  auto r = RunCli({"ls", dir.File("raw.img")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("未发现分区！"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kestrum
