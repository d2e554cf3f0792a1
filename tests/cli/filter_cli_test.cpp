// kestrum-cli ls and export with filters, against lists computed from the
// fixtures' manifests.

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/run_command.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::ManifestEntry;
using test::RunCli;

std::string NameOf(const ManifestEntry& e) { return e.path.substr(e.path.rfind('/') + 1); }

std::string ExtensionOf(const ManifestEntry& e) {
  std::string name = NameOf(e);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool Glob(const char* pattern, const ManifestEntry& e) {
  return fnmatch(pattern, NameOf(e).c_str(), FNM_CASEFOLD) == 0;
}

// The fixture tree holds .txt, .doc, .bin, .sys and files without a dot.
bool IsDocument(const ManifestEntry& e) { return ExtensionOf(e) == "txt" || ExtensionOf(e) == "doc"; }

std::string LocalText(std::int64_t seconds) {  // the suite runs with TZ=UTC
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

std::set<std::string> ListedPaths(const std::vector<std::string>& args, std::string* err = nullptr) {
  auto r = RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  if (err != nullptr) *err = r.err;
  std::set<std::string> paths;
  for (auto& object : test::ParseJsonLines(r.out)) paths.insert(*object["path"]);
  return paths;
}

struct Volume {
  const char* image;
  const char* manifest;
};
constexpr Volume kVolumes[] = {{"ntfs.img", "ntfs.manifest.tsv"},
                               {"fat32.img", "fat32.manifest.tsv"},
                               {"exfat.img", "exfat.manifest.tsv"}};

TEST(FilterCommand, EachFilterAloneAndCombinedListsExactlyTheMatchingEntries) {
  for (const Volume& v : kVolumes) {
    SCOPED_TRACE(v.image);
    const std::vector<ManifestEntry> manifest = test::LoadManifest(v.manifest);
    // The named items are dated three days apart: a month from the middle of them.
    std::int64_t since = 0;
    for (const ManifestEntry& e : manifest) {
      if (e.path == "sizes/4096.bin") since = e.mtime;
    }
    ASSERT_NE(since, 0);
    const std::int64_t until = since + 30 * 86400;
    struct Case {
      std::vector<std::string> options;
      std::function<bool(const ManifestEntry&)> expected;
    } cases[] = {
        {{"--name", "*.TXT"}, [](const ManifestEntry& e) { return Glob("*.txt", e); }},
        {{"--name", "f00?0.txt"}, [](const ManifestEntry& e) { return Glob("f00?0.txt", e); }},
        {{"--name", "报告"}, [](const ManifestEntry& e) { return NameOf(e) == "报告"; }},
        {{"--type", "document"}, [](const ManifestEntry& e) { return !e.folder && IsDocument(e); }},
        {{"--type", "other,picture"}, [](const ManifestEntry& e) { return !e.folder && !IsDocument(e); }},
        {{"--min-size", "4K", "--max-size", "64k"},
         [](const ManifestEntry& e) { return !e.folder && e.size >= 4096 && e.size <= 65536; }},
        {{"--since", LocalText(since), "--until", LocalText(until)},
         [&](const ManifestEntry& e) { return e.mtime >= since && e.mtime <= until; }},
        {{"--type", "文档", "--max-size", "600", "--name", "*e*"},
         [](const ManifestEntry& e) { return !e.folder && IsDocument(e) && e.size <= 600 && Glob("*e*", e); }},
        {{"--name", "*.bin", "--since", LocalText(since)},
         [&](const ManifestEntry& e) { return Glob("*.bin", e) && e.mtime >= since; }},
    };
    for (const Case& c : cases) {
      std::vector<std::string> args = {"ls", "--json", test::FixturePath(v.image)};
      args.insert(args.end(), c.options.begin(), c.options.end());
      std::set<std::string> expected;
      for (const ManifestEntry& e : manifest) {
        if (!e.deleted && c.expected(e)) expected.insert(e.path);
      }
      EXPECT_FALSE(expected.empty()) << c.options[0];
      EXPECT_EQ(ListedPaths(args), expected) << c.options[0] << " " << c.options[1];
    }
  }
}

TEST(FilterCommand, RecoveryChancesAndAFilterThatMatchesNothing) {
  const std::string ntfs = test::FixturePath("ntfs.img");
  std::set<std::string> deleted;
  for (const ManifestEntry& e : test::LoadManifest("ntfs.manifest.tsv")) {
    if (e.deleted && !e.folder) deleted.insert(e.path);
  }
  EXPECT_EQ(ListedPaths({"ls", "--json", "--deleted", "--recovery", "good", ntfs}), deleted);
  // Live files show no chance, so none matches one.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"ls", "--json", "--recovery", "good,partial", ntfs},
        std::vector<std::string>{"ls", "--name", "no such file *", ntfs},
        std::vector<std::string>{"ls", "--json", "--deleted", "--recovery", "overwritten", ntfs}}) {
    auto r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "") << args[1];
    EXPECT_NE(r.err.find("没有符合筛选条件的文件或目录"), std::string::npos) << r.err;
  }
}

TEST(FilterCommand, BadValuesAndReversedRangesAreRefusedBeforeAnythingIsRead) {
  const std::string ntfs = test::FixturePath("ntfs.img");
  struct Case {
    std::vector<std::string> options;
    const char* message;
  } cases[] = {{{"--since", "2025-01-01", "--until", "2024-01-01"}, "开始日期晚于结束日期"},
               {{"--min-size", "2M", "--max-size", "1M"}, "最小大小大于最大大小"},
               {{"--min-size", "10Q"}, "--min-size：不是大小"},
               {{"--since", "2023-02-29"}, "--since：不是日期"},
               {{"--type", "pictures"}, "--type：不是 picture"},
               {{"--recovery", "good,great"}, "--recovery：不是 good"}};
  for (const Case& c : cases) {
    for (const char* verb : {"ls", "export"}) {
      test::TempDir target;
      std::vector<std::string> args = {verb, ntfs};
      if (std::string(verb) == "export") args.push_back(target.path());
      args.insert(args.end(), c.options.begin(), c.options.end());
      auto r = RunCli(args);
      EXPECT_EQ(r.exitCode, 2) << verb << " " << c.options[0];
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      EXPECT_TRUE(fs::is_empty(target.path())) << verb;
    }
  }
}

TEST(FilterCommand, ExportCopiesOnlyTheMatchesEachBelowItsFolders) {
  for (const Volume& v : kVolumes) {
    SCOPED_TRACE(v.image);
    const std::vector<ManifestEntry> manifest = test::LoadManifest(v.manifest);
    struct Case {
      std::vector<std::string> paths, options;
      std::function<bool(const ManifestEntry&)> expected;
    } cases[] = {
        {{}, {"--type", "document", "--max-size", "4K"},
         [](const ManifestEntry& e) { return IsDocument(e) && e.size <= 4096; }},
        // Below the named paths only, with the folders above them kept.
        {{"docs", "deep/l1/l2"}, {"--name", "*.txt"},
         [](const ManifestEntry& e) {
           return Glob("*.txt", e) && (e.path.rfind("docs/", 0) == 0 || e.path.rfind("deep/l1/l2/", 0) == 0);
         }},
    };
    for (const Case& c : cases) {
      test::TempDir target;
      std::vector<std::string> args = {"export", test::FixturePath(v.image), target.path()};
      args.insert(args.end(), c.paths.begin(), c.paths.end());
      args.insert(args.end(), c.options.begin(), c.options.end());
      auto r = RunCli(args);
      ASSERT_EQ(r.exitCode, 0) << r.err;
      std::map<std::string, std::string> expected, written;
      for (const ManifestEntry& e : manifest) {
        if (!e.deleted && !e.folder && c.expected(e)) expected[e.path] = e.sha256;
      }
      for (const auto& entry : fs::recursive_directory_iterator(target.path())) {
        const std::string relative = fs::relative(entry.path(), target.path()).string();
        if (entry.is_regular_file() && !test::IsReportFile(relative)) {
          written[relative] = test::Sha256OfFile(entry.path().string());
        }
      }
      EXPECT_EQ(written, expected) << c.options[1];
      EXPECT_EQ(test::LoadJsonReport(target.path()).size(), expected.size());
      EXPECT_NE(r.err.find("已复制 " + std::to_string(expected.size()) + " 个文件。"), std::string::npos) << r.err;
    }
  }
  test::TempDir empty;
  auto none = RunCli({"export", test::FixturePath("ntfs.img"), empty.path(), "--name", "*.nothing"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("没有符合筛选条件的文件或目录，未导出任何文件"), std::string::npos) << none.err;
  EXPECT_TRUE(fs::is_empty(empty.path()));
}

}  // namespace
}  // namespace kestrum
