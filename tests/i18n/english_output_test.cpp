// What a user of the English CLI reads: every message, heading, progress line
// and JSON value in English. The sweep of the sources finds a Chinese text
// without its English; this finds one that has its English but is written
// without going through the catalog.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "i18n/source_texts.h"
#include "support/fixtures.h"
#include "support/lost_disk.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum::test {
namespace {

namespace fs = std::filesystem;

// The Chinese the volumes themselves hold (file and folder names), and the
// report's file name, which stays Chinese in both languages.
std::vector<std::string> OwnNames(const std::vector<std::string>& manifests) {
  std::set<std::string> names{"恢复报告.csv"};
  for (const std::string& manifest : manifests) {
    for (const ManifestEntry& entry : LoadManifest(manifest)) {
      std::size_t begin = 0;
      while (begin <= entry.path.size()) {
        std::size_t end = std::min(entry.path.find('/', begin), entry.path.size());
        const std::string part = entry.path.substr(begin, end - begin);
        if (HasChinese(part)) names.insert(part);
        begin = end + 1;
      }
    }
  }
  std::vector<std::string> sorted(names.begin(), names.end());
  // Longest first, so that a name is not left half erased by a shorter one it holds.
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  return sorted;
}

// The lines of `text` that hold Chinese once the volumes' own names are taken out.
std::string ChineseLines(const std::string& text, const std::vector<std::string>& names) {
  std::string found;
  for (std::string line : Lines(text)) {
    for (const std::string& name : names) {
      for (std::size_t at; (at = line.find(name)) != std::string::npos;) line.erase(at, name.size());
    }
    if (HasChinese(line)) found += "  " + line + "\n";
  }
  return found;
}

TEST(EnglishOutput, HoldsNoChineseButTheVolumesOwnNames) {
  TempDir dir;
  LostDisk lost = MakeLostDisk(dir.path(), true);
  std::vector<std::string> manifests = lost.manifests;
  for (const char* image : {"ntfs", "fat32", "fat16", "exfat", "exfatdel"}) {
    manifests.push_back(std::string(image) + ".manifest.tsv");
  }
  const std::vector<std::string> names = OwnNames(manifests);
  const std::string disk = FixturePath("disk.img"), ntfs = FixturePath("ntfs.img");
  const std::string state = dir.File("scan.kfp"), history = dir.File("history.dat");
  const std::string lostState = dir.File("lost.kfp");
  std::string all = "0";
  for (std::size_t i = 1; i < lost.original.size(); ++i) all += "," + std::to_string(i);

  // Each row: the arguments (after --lang en) and the exit code they end with.
  const std::vector<std::pair<std::vector<std::string>, int>> runs = {
      {{"--help"}, 0},
      {{"disks", disk}, 0},
      {{"volumes", disk}, 0},
      {{"volumes", "--json", disk}, 0},
      {{"ls", "--deleted", ntfs}, 0},
      {{"ls", "--deleted", "--json", FixturePath("fat32.img")}, 0},
      {{"ls", "--deleted", FixturePath("exfatdel.img")}, 0},
      {{"ls", "--partition", "3", disk}, 0},
      {{"ls", "--type", "picture,document", "--min-size", "1K", ntfs}, 0},
      {{"ls", "--since", "yesterday", ntfs}, 2},
      {{"classify", "--count", "64", disk}, 0},
      {{"scan", "--progress", "--state", state, "--partition", "1", disk}, 0},
      {{"scan", "--json", "--state", state, "--partition", "1", disk}, 0},
      {{"ls", "--scan", state, "--found", "1", disk}, 0},
      {{"export", "--progress", "--deleted", ntfs, dir.path()}, 0},
      {{"export", ntfs, dir.File("missing")}, 2},
      {{"image", disk, dir.File("copy.img")}, 0},
      {{"scan", "--lost-partitions", "--state", lostState, lost.image}, 0},
      {{"repair", lost.image, "--scan", lostState, "--select", "0,1", "--history", history}, 1},
      {{"repair", lost.image, "--scan", lostState, "--select", all, "--yes", "--history", history}, 0},
      {{"history", lost.image, "--history", history}, 0},
      {{"undo", lost.image, "--record", "0", "--yes", "--history", history}, 0},
      {{"undo", lost.image, "--record", "0", "--yes", "--history", history}, 1},
      {{"ls", dir.File("nosuch.img")}, 1},
      {{"ls", "--partition", "9", disk}, 2},
      {{"frobnicate"}, 2},
  };
  // A failing disk: what the listing and the copies lost, said in English.
  const std::string fat32 = FixturePath("fat32.img");
  const std::string faults = "KESTRUM_TEST_FAULTS=read:3000:600:" + fat32 + ";read:8000:400:" + fat32;
  struct Run {
    std::vector<std::string> env, args;
    int exitCode;
    std::string says;  // in its stderr or stdout
  };
  std::vector<Run> checked;
  for (const auto& [args, exitCode] : runs) checked.push_back({{}, args, exitCode, ""});
  checked.push_back({{faults}, {"ls", fat32}, 0, "are not listed; 204 unreadable sectors"});
  checked.push_back({{faults}, {"export", fat32, dir.File("failing")}, 0, "unreadable sectors (400, filled"});
  fs::create_directory(dir.File("failing"));
  for (const Run& run : checked) {
    std::vector<std::string> argv{"--lang", "en"};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    std::string name;
    for (const std::string& a : run.args) name += a + " ";
    SCOPED_TRACE(name);
    CommandResult r = RunCliWith(run.env, argv);
    EXPECT_EQ(r.exitCode, run.exitCode) << r.err;
    EXPECT_NE((r.out + r.err).find(run.says), std::string::npos) << r.err;
    const std::string chinese = ChineseLines(r.out, names) + ChineseLines(r.err, names);
    EXPECT_TRUE(chinese.empty()) << "Chinese in the English output:\n" << chinese;
  }
}

}  // namespace
}  // namespace kestrum::test
