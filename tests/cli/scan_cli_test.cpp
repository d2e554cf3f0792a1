// kestrum-cli scan, and ls/export of a found volume, run as a user runs them
// on a disk of real pictures and documents.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/text.h"
#include "scan/scan_state_file.h"
#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/export_report.h"
#include "support/picture_disk.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using test::CommandResult;
using test::RunCliWith;
using test::RunCommand;
using test::TempDir;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ScanCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    made_ = test::MakePictureDisk(dir_->path(), disk_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(made_); }
  static void ExpectResumeReadsOnlyWhatWasNotAnalysed(const test::TempDir& work, const std::string& state);

  static test::TempDir* dir_;
  static test::PictureDisk disk_;
  static bool made_;
};
test::TempDir* ScanCommand::dir_ = nullptr;
test::PictureDisk ScanCommand::disk_;
bool ScanCommand::made_ = false;

TEST_F(ScanCommand, WholeDiskAndPartitionSearchFindEveryPictureAndDocument) {
  const std::string before = test::RunCommand({"sha256sum", disk_.image}).out;
  struct Case {
    std::vector<std::string> args;
    std::uint64_t start, sectors;
  };
  for (const Case& c : {Case{{"scan", "--json", disk_.image}, 0, 131072},
                        Case{{"scan", "--json", disk_.image, "--partition", "1"}, 2048, 129024}}) {
    auto r = RunCli(c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto lines = test::ParseJsonLines(r.out);
    ASSERT_GE(lines.size(), 1u);
    test::FlatObject& v = lines[0];
    EXPECT_EQ(v["index"], "1");
    EXPECT_EQ(v["label"], "SearchFile");
    EXPECT_EQ(v["fsKind"], "14");
    EXPECT_EQ(v["foundBy"], "signatures");
    EXPECT_EQ(v["startSector"], std::to_string(c.start));
    EXPECT_EQ(v["sectorCount"], std::to_string(c.sectors));
    EXPECT_EQ(v["files"], std::to_string(disk_.files.size()));
    EXPECT_EQ(v["folders"], "69");
  }
  EXPECT_EQ(test::RunCommand({"sha256sum", disk_.image}).out, before);
}

// A dead zone of the disk costs a few reads, not one per sector: the scan
// skips ahead as the reads keep failing, and says how much it lost.
TEST_F(ScanCommand, ALongRunOfBadSectorsIsSkippedAheadAndCounted) {
  test::TempDir work;
  // Every sector written out: the holes of a sparse image are not read.
  const std::string image = work.File("full.img");
  ASSERT_EQ(test::RunCommand({"cp", "--sparse=never", disk_.image, image}).exitCode, 0);
  const std::uint64_t first = 100000, count = 30000;
  const std::string log = work.File("reads.log");
  auto r = test::RunCliWith({"KESTRUM_TEST_FAULTS=read:" + std::to_string(first) + ":" + std::to_string(count) + ":" +
                                 image,
                             "KESTRUM_TEST_READ_LOG=" + log},
                            {"scan", "--json", image});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "无法读取的扇区 30000 个（其中 ")) << r.err;
  std::size_t inZone = 0;
  for (const std::string& line : test::Lines(Bytes(log))) {
    std::uint64_t offset = 0, bytes = 0;
    if (std::sscanf(line.c_str(), "%lu %lu", &offset, &bytes) != 2) continue;
    if (offset / 512 < first + count && (offset + bytes) / 512 > first) ++inZone;
  }
  EXPECT_LT(inZone, 100u) << "reads that touched the bad sectors";
}

// The holes of a sparse copy are taken as zeros unread: the scan, the
// lost-partition scan and the classification of the sparse copy say exactly
// what they say of a copy with every zero written out.
TEST_F(ScanCommand, ASparseImageScansAsItsFullCopyDoes) {
  test::TempDir work;
  const std::string sparse = work.File("sparse.img"), full = work.File("full.img");
  ASSERT_EQ(test::RunCommand({"cp", "--sparse=always", disk_.image, sparse}).exitCode, 0);
  ASSERT_EQ(test::RunCommand({"cp", "--sparse=never", disk_.image, full}).exitCode, 0);
  auto allocated = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_blocks) * 512 : 0;
  };
  ASSERT_LT(allocated(sparse), fs::file_size(sparse) / 2) << "the copy must have holes to skip";
  ASSERT_GE(allocated(full), fs::file_size(full));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"scan", "--json"}, {"scan", "--lost-partitions", "--json"}, {"classify", "--json"}}) {
    SCOPED_TRACE(args[1]);
    std::vector<std::string> onSparse = args, onFull = args;
    onSparse.push_back(sparse);
    onFull.push_back(full);
    auto a = RunCli(onSparse), b = RunCli(onFull);
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_FALSE(a.out.empty());
    EXPECT_EQ(a.out, b.out);
  }
}

TEST_F(ScanCommand, FoundFilesListAndExportWithTheirContent) {
  test::TempDir work;
  const std::string state = work.File("scan.state");
  auto r = RunCli({"scan", "--state", state, disk_.image});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = RunCli({"ls", "--json", disk_.image, "--scan", state, "--found", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, int> perFolder;
  for (auto& line : test::ParseJsonLines(r.out)) {
    const std::string path = *line["path"];
    if (line["type"] == "File") ++perFolder[path.substr(0, path.find('/'))];
  }
  EXPECT_EQ(perFolder, (std::map<std::string, int>{{"jpg-" + std::to_string(disk_.jpg), 5},
                                                   {"png-" + std::to_string(disk_.png), 4},
                                                   {"pdf-" + std::to_string(disk_.pdf), 3}}));
  const std::string target = work.File("out");
  fs::create_directory(target);
  r = RunCli({"export", disk_.image, target, "--scan", state, "--found", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Each written file comes back at the start of one exported file: a file
  // found by content runs up to the next finding.
  std::vector<std::string> exported;
  for (const auto& e : fs::recursive_directory_iterator(target)) {
    if (e.is_regular_file() && !test::IsReportFile(fs::relative(e.path(), target).string())) {
      exported.push_back(Bytes(e.path()));
    }
  }
  EXPECT_EQ(exported.size(), disk_.files.size());
  for (const std::string& file : disk_.files) {
    const std::string original = Bytes(file);
    int matches = 0;
    for (const std::string& out : exported) matches += out.compare(0, original.size(), original) == 0;
    EXPECT_EQ(matches, 1) << file;
  }
}

// The sorted reads of `scan --state` resuming `state`, as "OFFSET BYTES" lines.
std::vector<std::string> ResumeReads(const test::TempDir& work, const std::string& state, const std::string& image,
                                     std::string& out) {
  const std::string log = work.File("reads.log");
  std::filesystem::remove(log);
  auto r = test::RunCliWith({"KESTRUM_TEST_READ_LOG=" + log}, {"scan", "--json", "--state", state, image});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  out = r.out;
  std::vector<std::string> reads = test::Lines(Bytes(log));
  std::sort(reads.begin(), reads.end());
  return reads;
}

// A state whose later blocks were never analysed: the resumed scan
// reads those blocks and, in the first half, only what the finish steps of
// a scan with nothing left to read also read there.
void ScanCommand::ExpectResumeReadsOnlyWhatWasNotAnalysed(const test::TempDir& work, const std::string& state) {
  const std::string cut = work.File("cut-half.state");
  SavedScan saved;
  ScanState kept;
  std::u16string error;
  ASSERT_TRUE(LoadScanState(state, saved, kept, error)) << ToUtf8(error);
  // Cut at the block of the middle finding: the part cut off holds data to
  // read again (the holes of a sparse image are never read).
  const std::vector<ScanFinding> findings = kept.store.CollectFindings();
  ASSERT_FALSE(findings.empty());
  const Sector64 half = BlockStartOf(findings[findings.size() / 2].sector);
  for (Sector64 b = half; b <= kept.lastBlock; b += kBlockSectors) kept.map.Set(b, kBlockUnread);
  auto& ranges = kept.store.MutableRanges();
  std::erase_if(ranges, [&](const ScanRange& r) { return r.first >= half; });
  kept.nextBlock = half;
  kept.SetPriorityBlocks({});
  ASSERT_TRUE(SaveScanState(cut, saved, kept, error)) << ToUtf8(error);

  std::string doneOut, resumedOut;
  const std::vector<std::string> done = ResumeReads(work, state, disk_.image, doneOut);
  const std::vector<std::string> resumed = ResumeReads(work, cut, disk_.image, resumedOut);
  EXPECT_EQ(resumedOut, doneOut);
  auto below = [&](const std::vector<std::string>& reads, bool wanted) {
    std::vector<std::string> part;
    for (const std::string& line : reads) {
      const bool low = std::stoull(line) < std::uint64_t{half} * kSectorSize;
      if (low == wanted) part.push_back(line);
    }
    return part;
  };
  EXPECT_EQ(below(resumed, true), below(done, true));
  // The unread half was read again (more than the finish steps read there).
  EXPECT_GT(below(resumed, false).size(), below(done, false).size());
}

TEST_F(ScanCommand, StateFileBelongsToItsDeviceAndIsCheckedOnLoad) {
  test::TempDir work;
  const std::string state = work.File("scan.state");
  ASSERT_EQ(RunCli({"scan", "--state", state, disk_.image}).exitCode, 0);
  const std::string saved = Bytes(state);
  // The same device and area again: resumed, nothing left to read, same result.
  auto again = RunCli({"scan", "--json", "--state", state, disk_.image});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(Contains(again.out, "\"files\":12"));
  ExpectResumeReadsOnlyWhatWasNotAnalysed(work, state);
  // Another device, or another area of the same one: refused unless --fresh.
  const std::string copy = work.File("copy.img");
  fs::copy_file(disk_.image, copy);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"scan", "--state", state, copy},
        std::vector<std::string>{"scan", "--state", state, disk_.image, "--partition", "1"},
        std::vector<std::string>{"ls", copy, "--scan", state, "--found", "1"}}) {
    auto r = RunCli(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_TRUE(Contains(r.err, "另一个设备")) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(RunCli({"scan", "--state", state, "--fresh", copy}).exitCode, 0);
  // Cut short or foreign: a clear refusal.
  std::ofstream(work.File("cut.state"), std::ios::binary) << saved.substr(0, saved.size() / 2);
  std::ofstream(work.File("foreign.state"), std::ios::binary) << "hello";
  for (const char* name : {"cut.state", "foreign.state"}) {
    auto r = RunCli({"ls", disk_.image, "--scan", work.File(name), "--found", "1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "扫描状态文件")) << r.err;
    r = RunCli({"scan", "--state", work.File(name), disk_.image});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "--fresh")) << r.err;
  }
  // The state now belongs to the copy; a found volume it does not hold is wrong usage.
  EXPECT_EQ(RunCli({"ls", copy, "--scan", state, "--found", "99"}).exitCode, 2);
}

TEST(CliConventions, UsageVersionAndHelp) {
  auto none = RunCli({});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_TRUE(Contains(none.err, "用法："));
  EXPECT_TRUE(none.out.empty());
  auto version = RunCli({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(Contains(version.out, "kestrum-cli 2.16"));
  auto help = RunCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* word : {"disks", "volumes", "ls", "export", "classify", "scan", "--json", "--deleted",
                           "--partition", "--from", "--count", "--priority", "--state", "--fresh", "--scan",
                           "--found", "--progress", "--version"}) {
    EXPECT_TRUE(Contains(help.out, word)) << word;
  }
}

// Messages, usage and the words among JSON values follow the language: the
// option, else KESTRUM_LANG, else the locale; JSON keys stay.
TEST(CliConventions, TheLanguageOfMessagesUsageAndJsonValues) {
  TempDir dir;
  const std::string image = dir.File("nolabel.img");
  ASSERT_EQ(RunCommand({"/sbin/mkfs.fat", "-F", "16", "-C", image, "65536"}).exitCode, 0);
  struct Case {
    std::vector<std::string> env;
    std::vector<std::string> args;
    int exitCode;
    std::string out, err;
  };
  const Case cases[] = {
      {{}, {"--bogus"}, 2, "", "未知的选项 --bogus\n用法："},
      {{}, {"--bogus", "--lang", "en"}, 2, "", "unknown option --bogus\nusage:"},
      {{"KESTRUM_LANG=en"}, {"ls"}, 2, "", "missing SOURCE"},
      {{"KESTRUM_LANG=en"}, {"ls", "--lang", "zh"}, 2, "", "缺少 SOURCE"},
      {{"KESTRUM_LANG=", "LC_ALL=", "LC_MESSAGES=", "LANGUAGE=", "LANG=zh_CN.UTF-8"}, {"frobnicate"}, 2, "",
       "未知的命令 frobnicate"},
      {{"KESTRUM_LANG=", "LC_ALL=", "LC_MESSAGES=", "LANGUAGE=", "LANG=en_US.UTF-8"}, {"frobnicate"}, 2, "",
       "unknown verb frobnicate"},
      {{}, {"--help", "--lang", "en"}, 0, "options:\n  --json", ""},
      {{}, {"--lang", "fr"}, 2, "", "--lang 只能是 zh 或 en"},
      {{}, {"volumes", "--json", image}, 0, "\"label\":\"本地磁盘\"", ""},
      {{}, {"volumes", "--json", "--lang=en", image}, 0, "\"label\":\"Local Disk\"", ""},
      {{}, {"volumes", "--lang", "en", image}, 0, "Label", ""},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& a : c.env) name += a + " ";
    for (const std::string& a : c.args) name += a + " ";
    SCOPED_TRACE(name);
    CommandResult r = RunCliWith(c.env, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(Contains(r.out, c.out)) << r.out;
    EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
  }
}

}  // namespace
}  // namespace kestrum
