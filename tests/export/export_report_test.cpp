// The report every export leaves in its target, and exports that keep each
// item's folders: what the report says of each file is what its copy met.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "export/export_files.h"
#include "export/export_report.h"
#include "export/file_content.h"
#include "export_test_support.h"
#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/sha256.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::Box;
using test::ContentVolume;
using test::FlatObject;

ExportJob RunJob(const VolumeSet& set, const std::string& target, std::vector<std::uint32_t> indices,
                 bool keepPaths = false, ExportStatus* last = nullptr) {
  ExportJob job;
  job.set = &set;
  job.target = FromUtf8(target);
  job.indices = std::move(indices);
  job.keepPaths = keepPaths;
  test::PrepareRun();
  test::WatchingPresenter presenter;
  EXPECT_TRUE(RunExport(job, presenter));
  if (last != nullptr) *last = presenter.last;
  return job;
}

std::vector<std::string> CsvLines(const std::string& path) {
  std::string text = test::ReadWholeFile(path);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

class ExportReportTest : public test::WithReadFaults {};

TEST_F(ExportReportTest, EveryFileIsListedWithWhatItsCopyMetAndTheCountsAddUp) {
  ContentVolume v;
  v.AddFile(u"good.bin", kRootNodeId, test::Pattern(3000));
  const std::uint32_t bad = v.AddFile(u"bad.bin", kRootNodeId, test::Pattern(5000));
  // Content past the end of the disk: nothing there to read.
  v.tree.Add(u"gone.bin", kFile, kRootNodeId, 5000, 5000);
  const std::uint32_t docs = v.AddFolder(u"docs", kRootNodeId);
  v.tree.Add(u"empty.txt", kFile, docs, 0, 0);
  // Hostile and awkward names travel into the report as they are named.
  const std::u16string formula = u"=HYPERLINK(\"x\").txt";
  const std::u16string control = std::u16string(u"tab\tand\nline.txt");
  const std::u16string longName = std::u16string(120, u'报') + u".txt";  // 364 bytes of UTF-8
  v.AddFile(formula, docs, "f");
  v.AddFile(control, docs, "c");
  v.AddFile(longName, docs, "l");
  VolumeSet set;
  v.Finish(set);
  const std::uint32_t badSector = v.tree.Nodes()[bad].location;
  testing::InjectReadFault(v.ImagePath(), badSector + 3, 1);

  Box box;
  ExportJob job = RunJob(set, box.target, {kRootNodeId});
  EXPECT_EQ(job.counts.copied, 5u);
  EXPECT_EQ(job.counts.withUnreadableSectors, 1u);
  EXPECT_EQ(job.counts.failed, 1u);
  EXPECT_EQ(job.reportPaths, (std::vector<std::string>{box.target + "/恢复报告.csv", box.target + "/recovery-report.jsonl"}));
  EXPECT_EQ(ExportSummaryText(job.counts, job.reportPaths, job.reportProblem),
            u"已复制 6 个文件，其中 1 个文件含有无法读取的扇区（以零填充），1 个文件复制失败。\n恢复报告：" +
                FromUtf8(box.target) + u"/恢复报告.csv");
  ASSERT_EQ(job.damagedFiles.size(), 1u);
  EXPECT_EQ(job.damagedFiles[0].path, u"bad.bin");
  EXPECT_EQ(DamagedFilesText(job.damagedFiles, 10), u"含有无法读取的扇区（1 个，以零填充）：bad.bin");
  EXPECT_EQ(DamagedFilesText({{u"a", 1}, {u"b", 2}, {u"c", 3}}, 1),
            u"含有无法读取的扇区（1 个，以零填充）：a\n……另有 2 个，见恢复报告");

  auto report = test::LoadJsonReport(box.target);
  const std::string longPath = "docs/" + ToUtf8(longName);
  ASSERT_EQ(report.size(), 7u);
  const std::map<std::string, std::string> copied = {{"good.bin", test::Pattern(3000)},
                                                     {"docs/empty.txt", ""},
                                                     {"docs/" + ToUtf8(formula), "f"},
                                                     {"docs/" + ToUtf8(control), "c"},
                                                     {longPath, "l"}};
  for (const auto& [path, content] : copied) {
    ASSERT_EQ(report.count(path), 1u) << path;
    EXPECT_EQ(report[path]["result"], "copied") << path;
    EXPECT_FALSE(report[path].count("failure")) << path;
    ASSERT_TRUE(report[path]["savedAs"].has_value()) << path;
    EXPECT_EQ(test::ReadWholeFile(box.target + "/" + *report[path]["savedAs"]), content) << path;
  }
  // The long name is cut on disk and whole in the report.
  EXPECT_LT(report[longPath]["savedAs"]->size(), longPath.size());
  EXPECT_EQ(report["docs/" + ToUtf8(control)]["savedAs"], "docs/" + ToUtf8(control));

  // The bad sector is zeros in a copy that went on past it.
  FlatObject& damaged = report["bad.bin"];
  EXPECT_EQ(damaged["result"], "copiedWithUnreadableSectors");
  EXPECT_FALSE(damaged.count("failure"));
  EXPECT_EQ(damaged["unreadableSectors"], "1");
  EXPECT_EQ(damaged["reason"], "1 个扇区无法读取，以零填充");
  std::string withZeros = test::Pattern(5000);
  std::fill_n(withZeros.begin() + 3 * 512, 512, '\0');
  EXPECT_EQ(test::ReadWholeFile(box.target + "/bad.bin"), withZeros);

  FlatObject& failed = report["gone.bin"];
  EXPECT_EQ(failed["result"], "failed");
  EXPECT_EQ(failed["failure"], "unreadable");
  // The copy reads the whole file at once: the read that failed is that one.
  EXPECT_EQ(failed["failedSector"], "5000");
  EXPECT_EQ(failed["failedSectors"], "10");
  EXPECT_EQ(failed["reason"], "读取扇区 5000 起的 10 个扇区失败");
  EXPECT_EQ(failed["size"], "5000");
  EXPECT_EQ(fs::file_size(box.target + "/gone.bin"), 0u);

  // The spreadsheet's copy: a byte-order mark, a header, a line a file in
  // the walk's order; no cell starts a formula, no control character breaks a line.
  std::vector<std::string> csv = CsvLines(box.target + "/恢复报告.csv");
  ASSERT_EQ(csv.size(), 8u);
  EXPECT_EQ(csv[0], "\xEF\xBB\xBF\"路径\",\"大小\",\"恢复可能性\",\"结果\",\"原因\",\"保存为\"");
  EXPECT_EQ(csv[1], "\"good.bin\",3000,\"\",\"已复制\",\"\",\"good.bin\"");
  EXPECT_EQ(csv[2], "\"bad.bin\",5000,\"\",\"已复制（有无法读取的扇区）\",\"1 个扇区无法读取，以零填充\",\"bad.bin\"");
  EXPECT_EQ(csv[3].rfind("\"gone.bin\",5000,\"\",\"失败\",\"读取扇区 ", 0), 0u) << csv[3];
  EXPECT_NE(std::find(csv.begin(), csv.end(),
                      "\"docs/=HYPERLINK(\"\"x\"\").txt\",1,\"\",\"已复制\",\"\",\"docs/=HYPERLINK(\"\"x\"\").txt\""),
            csv.end())
      << "a cell in the middle of a path is no formula";
  EXPECT_NE(std::find(csv.begin(), csv.end(),
                      "\"docs/tab\xEF\xBF\xBD" "and\xEF\xBF\xBDline.txt\",1,\"\",\"已复制\",\"\",\"docs/tab\xEF\xBF\xBD"
                      "and\xEF\xBF\xBDline.txt\""),
            csv.end());
}

TEST(ExportReport, ACellThatWouldStartAFormulaIsQuotedAsText) {
  ContentVolume v;
  v.AddFile(u"=1+2.txt", kRootNodeId, "x");
  v.AddFile(u"@sum.txt", kRootNodeId, "y");
  VolumeSet set;
  v.Finish(set);
  Box box;
  RunJob(set, box.target, {kRootNodeId});
  std::vector<std::string> csv = CsvLines(box.target + "/恢复报告.csv");
  ASSERT_EQ(csv.size(), 3u);
  EXPECT_EQ(csv[1], "\"'=1+2.txt\",1,\"\",\"已复制\",\"\",\"'=1+2.txt\"");
  EXPECT_EQ(csv[2], "\"'@sum.txt\",1,\"\",\"已复制\",\"\",\"'@sum.txt\"");
  EXPECT_EQ(test::LoadJsonReport(box.target)["=1+2.txt"]["savedAs"], "=1+2.txt") << "the JSON keeps the name";
}

// A recovered file may carry the report's own name (a copy of an earlier
// recovery, say): the report keeps its name, the file is numbered, and a
// second export replaces the report instead of adding another.
TEST(ExportReport, AFileNamedLikeTheReportIsNumberedAndALinkIsNeverWrittenThrough) {
  ContentVolume v;
  v.AddFile(u"恢复报告.csv", kRootNodeId, "an old report");
  v.AddFile(u"recovery-report.jsonl", kRootNodeId, "old lines");
  VolumeSet set;
  v.Finish(set);
  Box box;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    RunJob(set, box.target, {kRootNodeId});
    EXPECT_EQ(test::ReadWholeFile(box.target + "/恢复报告 (2).csv"), "an old report");
    EXPECT_EQ(test::ReadWholeFile(box.target + "/recovery-report (2).jsonl"), "old lines");
    auto report = test::LoadJsonReport(box.target);
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report["恢复报告.csv"]["savedAs"], "恢复报告 (2).csv");
    EXPECT_EQ(report["recovery-report.jsonl"]["savedAs"], "recovery-report (2).jsonl");
    EXPECT_FALSE(fs::exists(box.target + "/恢复报告 (3).csv"));
  }

  Box linked;
  test::WriteWholeFile(linked.dir.File("outside.csv"), "not yours");
  fs::create_symlink(linked.dir.File("outside.csv"), linked.target + "/恢复报告.csv");
  ExportJob job = RunJob(set, linked.target, {kRootNodeId});
  EXPECT_EQ(test::ReadWholeFile(linked.dir.File("outside.csv")), "not yours");
  ASSERT_EQ(job.reportPaths.size(), 2u);
  EXPECT_EQ(job.reportPaths[0], linked.target + "/恢复报告 (2).csv");
  EXPECT_EQ(test::ReadWholeFile(linked.target + "/恢复报告 (3).csv"), "an old report");
}

TEST(ExportReport, ATargetThatTakesNoReportStillGetsTheFilesAndSaysSo) {
  ContentVolume v;
  v.AddFile(u"a.txt", kRootNodeId, "a");
  VolumeSet set;
  v.Finish(set);
  Box box;
  // Every name a report could take is held by a folder.
  fs::create_directory(box.target + "/恢复报告.csv");
  for (int n = 2; n <= 100; ++n) fs::create_directory(box.target + "/恢复报告 (" + std::to_string(n) + ").csv");
  ExportJob job = RunJob(set, box.target, {kRootNodeId});
  EXPECT_EQ(test::ReadWholeFile(box.target + "/a.txt"), "a");
  EXPECT_TRUE(job.reportPaths.empty());
  EXPECT_EQ(job.counts.copied, 1u);
  EXPECT_EQ(ExportSummaryText(job.counts, job.reportPaths, job.reportProblem).find(u"无法写入恢复报告"), 11u);
}

// The matches of a filter go below the folders that hold them; an item
// inside another ticked one comes once, with it.
TEST(KeptPaths, EachItemGoesBelowItsOwnFoldersAndNothingTwice) {
  ContentVolume v;
  const std::uint32_t deep = v.AddFolder(u"deep", kRootNodeId);
  const std::uint32_t a = v.AddFolder(u"a", deep);
  const std::uint32_t leaf = v.AddFile(u"leaf.txt", a, "leaf");
  const std::uint32_t top = v.AddFile(u"top.txt", kRootNodeId, "top");
  const std::uint32_t docs = v.AddFolder(u"docs", kRootNodeId);
  const std::uint32_t inner = v.AddFile(u"inner.txt", docs, "inner");
  v.AddFile(u"other.txt", docs, "other");
  // Two folders whose safe names coincide keep their files apart.
  const std::uint32_t slash = v.AddFolder(u"x/y", kRootNodeId);
  const std::uint32_t under = v.AddFolder(u"x_y", kRootNodeId);
  const std::uint32_t one = v.AddFile(u"same.txt", slash, "one");
  const std::uint32_t two = v.AddFile(u"same.txt", under, "two");
  VolumeSet set;
  v.Finish(set);

  Box box;
  ExportStatus last;
  ExportJob job = RunJob(set, box.target, {leaf, inner, docs, top, one, two, leaf}, true, &last);
  const std::map<std::string, std::string> expected = {
      {"deep/a/leaf.txt", "leaf"}, {"docs/inner.txt", "inner"}, {"docs/other.txt", "other"},
      {"top.txt", "top"},          {"x_y/same.txt", "one"},     {"x_y (2)/same.txt", "two"}};
  std::map<std::string, std::string> written;
  for (const auto& [path, item] : test::WrittenTree(box.target)) {
    if (!item.folder) written[path] = test::ReadWholeFile(box.target + "/" + path);
  }
  EXPECT_EQ(written, expected);
  EXPECT_EQ(job.counts.copied, 6u);
  EXPECT_EQ(last.filesToExport, 6u) << "each file counted once for the progress display";
  EXPECT_EQ(last.filesExported, 6u);
  auto report = test::LoadJsonReport(box.target);
  EXPECT_EQ(report["x/y/same.txt"]["savedAs"], "x_y/same.txt");
  EXPECT_EQ(report["x_y/same.txt"]["savedAs"], "x_y (2)/same.txt");
  EXPECT_EQ(report.size(), 6u) << "leaf.txt, ticked twice, and inner.txt, inside docs, come once";
  EXPECT_TRUE(fs::is_directory(box.target + "/deep/a")) << a;
}

// A bad sector inside a file of a real file system: the copy goes on past
// it with zeros there, the report and the job name the file with its count,
// every other file is copied whole.
class FixtureWithAFault : public test::WithReadFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(FixtureWithAFault, TheUnreadableFileIsReportedAsSuchAndTheRestCopied) {
  const std::string image = GetParam();
  VolumeSet set;
  ASSERT_TRUE(test::ReadFixtureVolume(image, 0, set, kViewExistingFiles));
  // The file's first bytes, read by the reader, found in the image: the
  // sector to fail is where they lie.
  std::uint32_t docs = 0, target = 0;
  for (std::uint32_t k : ChildrenOf(set.NodesOfVolume(kCurrentVolume)->nodes, kRootNodeId)) {
    if (set.NodesOfVolume(kCurrentVolume)->nodes[k].name == u"sizes") docs = k;
  }
  ASSERT_NE(docs, 0u);
  for (std::uint32_t k : ChildrenOf(set.NodesOfVolume(kCurrentVolume)->nodes, docs)) {
    if (set.NodesOfVolume(kCurrentVolume)->nodes[k].size == 65536) target = k;
  }
  ASSERT_NE(target, 0u);
  const FileNode& node = set.NodesOfVolume(kCurrentVolume)->nodes[target];
  FileStart start;
  ASSERT_TRUE(ReadFileStart(*set.Current(), node, 4096, start));
  const std::string bytes = test::ReadWholeFile(test::FixturePath(image));
  const std::size_t at = bytes.find(std::string(start.bytes.begin(), start.bytes.end()));
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(at % 512, 0u);
  testing::InjectReadFault(test::FixturePath(image), at / 512 + 2, 1);

  test::TempDir dir;
  ExportJob job = RunJob(set, dir.path(), {docs});
  auto report = test::LoadJsonReport(dir.path());
  const std::string path = "sizes/" + ToUtf8(node.name);
  ASSERT_EQ(report.count(path), 1u);
  EXPECT_EQ(report[path]["result"], "copiedWithUnreadableSectors");
  EXPECT_EQ(report[path]["unreadableSectors"], "1");
  EXPECT_EQ(job.counts.withUnreadableSectors, 1u);
  EXPECT_EQ(job.counts.failed, 0u);
  EXPECT_EQ(job.counts.copied, report.size() - 1);
  ASSERT_EQ(job.damagedFiles.size(), 1u);
  EXPECT_EQ(ToUtf8(job.damagedFiles[0].path), path);
  for (auto& [reported, line] : report) {
    if (reported != path) {
      EXPECT_EQ(line["result"], "copied") << reported;
    }
  }
  // The source's bytes, the bad sector's 512 as zeros.
  testing::ClearReadFaults();
  FileStart clean;
  ASSERT_TRUE(ReadFileStart(*set.Current(), node, node.size, clean));
  std::string expected(clean.bytes.begin(), clean.bytes.end());
  std::fill_n(expected.begin() + 2 * 512, 512, '\0');
  EXPECT_EQ(test::ReadWholeFile(dir.path() + "/" + *report[path]["savedAs"]), expected);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FixtureWithAFault, ::testing::Values("ntfs.img", "fat32.img", "exfat.img"));

}  // namespace
}  // namespace kestrum
