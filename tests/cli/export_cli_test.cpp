// kestrum-cli export, run as a user runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "../export/loop_mount.h"
#include "support/export_report.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

std::set<std::string> FilesUnder(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (!test::IsReportFile(relative)) files.insert(relative + (entry.is_directory() ? "/" : ""));
  }
  return files;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ExportCommand, TheWholeVolumeByDefaultWithItsContentAndTimes) {
  test::TempDir target;
  auto r = RunCli({"export", test::FixturePath("ntfs.img"), target.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "导出文件成功！")) << r.err;
  std::size_t files = 0;
  for (const test::ManifestEntry& e : test::LoadManifest("ntfs.manifest.tsv")) {
    std::string path = target.File(e.path);
    if (e.deleted) {
      EXPECT_FALSE(fs::exists(path)) << "deleted, not in this view: " << e.path;
      continue;
    }
    ASSERT_TRUE(fs::exists(path)) << e.path;
    if (e.folder) continue;
    ++files;
    EXPECT_EQ(test::Sha256OfFile(path), e.sha256) << e.path;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << e.path;
    EXPECT_EQ(st.st_mtime, e.mtime) << e.path;
  }
  EXPECT_GT(files, 1200u);
  // The final message counts the files; the report lists each one.
  EXPECT_TRUE(Contains(r.err, "已复制 " + std::to_string(files) + " 个文件。\n恢复报告：")) << r.err;
  EXPECT_EQ(test::LoadJsonReport(target.path()).size(), files);
}

// Volumes that other tools make and the readers once got wrong: NTFS with
// 2 MiB clusters and named data streams (exported as "file_stream"), and an
// exFAT file written between live files and deleted (its chain cleared).
TEST(ExportCommand, EveryFileOfTheSmallFaultImagesComesBackByteForByte) {
  for (const auto& [image, manifest] : std::vector<std::pair<std::string, std::string>>{
           {"ntfs2m.img", "ntfs2m.manifest.tsv"}, {"exfatdel.img", "exfatdel.manifest.tsv"}}) {
    for (bool deleted : {false, true}) {
      test::TempDir dir;
      fs::create_directories(dir.File("out"));
      std::vector<std::string> args = {"export", test::FixturePath(image), dir.File("out")};
      if (deleted) args.push_back("--deleted");
      auto r = RunCli(args);
      EXPECT_EQ(r.exitCode, 0) << image << ": " << r.err;
      for (const test::ManifestEntry& e : test::LoadManifest(manifest)) {
        if (e.folder || e.deleted != deleted) continue;
        std::string path = e.path;
        std::replace(path.begin(), path.end(), ':', '_');
        EXPECT_EQ(test::Sha256OfFile(dir.File("out/" + path)), e.sha256) << image << ": " << e.path;
      }
    }
  }
}

TEST(ExportCommand, ChosenPathsOfTheChosenViewOnly) {
  test::TempDir target;
  std::string exfat = test::FixturePath("exfat.img");
  auto r = RunCli({"export", exfat, target.path(), "docs/报告", "README.TXT", "docs/报告/"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::set<std::string> expected = {"README.TXT", "报告/"};
  for (const test::ManifestEntry& e : test::LoadManifest("exfat.manifest.tsv")) {
    const std::string prefix = "docs/报告/";
    if (e.deleted || e.path.rfind(prefix, 0) != 0) continue;
    std::string inside = "报告/" + e.path.substr(prefix.size());
    expected.insert(inside + (e.folder ? "/" : ""));
    if (!e.folder) {
      EXPECT_EQ(test::Sha256OfFile(target.File(inside)), e.sha256) << inside;
    }
  }
  EXPECT_EQ(FilesUnder(target.path()), expected) << "a path named twice is exported once";

  test::TempDir deleted;
  r = RunCli({"export", "--deleted", exfat, deleted.path(), "docs"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(FilesUnder(deleted.path()), (std::set<std::string>{"docs/", "docs/removed.doc"}));

  // A live file is not in the deleted-files view.
  r = RunCli({"export", "--deleted", exfat, deleted.path(), "README.TXT"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Contains(r.err, "README.TXT") && Contains(r.err, "已删除文件视图")) << r.err;
  r = RunCli({"export", exfat, deleted.path(), "docs/nothing-here.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Contains(r.err, "docs/nothing-here.txt")) << r.err;
}

TEST(ExportCommand, WrongTargetsAndSourcesAreRefusedClearly) {
  test::TempDir dir;
  std::string ntfs = test::FixturePath("ntfs.img");
  EXPECT_EQ(RunCli({"export", ntfs}).exitCode, 2);
  EXPECT_EQ(RunCli({"export"}).exitCode, 2);
  auto missing = RunCli({"export", ntfs, dir.File("no-such-folder")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_TRUE(Contains(missing.err, "导出目录不存在或不是目录")) << missing.err;
  test::WriteWholeFile(dir.File("a-file"), "x");
  EXPECT_EQ(RunCli({"export", ntfs, dir.File("a-file")}).exitCode, 2);
  auto ambiguous = RunCli({"export", test::FixturePath("disk.img"), dir.path()});
  EXPECT_EQ(ambiguous.exitCode, 2);
  EXPECT_TRUE(Contains(ambiguous.err, "--partition")) << ambiguous.err;
  EXPECT_TRUE(fs::is_empty(dir.path()) || FilesUnder(dir.path()) == std::set<std::string>{"a-file"});

  auto fat32 = RunCli({"export", "--partition", "2", test::FixturePath("disk.img"), dir.path(), "CONFIG.SYS"});
  EXPECT_EQ(fat32.exitCode, 0) << fat32.err;
  EXPECT_TRUE(fs::exists(dir.File("CONFIG.SYS")));
}

TEST(ExportCommand, ATargetOnTheDiskBeingRecoveredIsRefused) {
  test::TempDir dir;
  std::string why;
  auto mount = test::LoopMount::Create(dir.path(), "ntfs", false, 16, why);
  if (!mount) GTEST_SKIP() << why;
  test::WriteWholeFile(mount->mountPoint + "/lost.txt", "to be recovered");
  fs::create_directory(mount->mountPoint + "/out");
  for (const std::string& source : {mount->device, mount->image}) {
    auto r = RunCli({"export", source, mount->mountPoint + "/out"});
    EXPECT_EQ(r.exitCode, 1) << source;
    EXPECT_TRUE(Contains(r.err, "同一个磁盘")) << r.err;
    EXPECT_TRUE(fs::is_empty(mount->mountPoint + "/out")) << source;
  }
  // The same source into a folder elsewhere is fine.
  fs::create_directory(dir.File("safe"));
  auto r = RunCli({"export", mount->device, dir.File("safe"), "lost.txt"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadWholeFile(dir.File("safe/lost.txt")), "to be recovered");
}

// 200 files of 1 MiB on a FAT32 volume with 512-byte clusters: an export
// long enough (a few seconds) to be interrupted in the middle. Cached between
// runs, keyed on this file (the builder): a change to it builds the image anew.
std::string BigFatImage() {
  const std::string dir = std::string(KESTRUM_FIXTURE_DIR) + "/../export-cli-images";
  const std::string image = dir + "/big-fat32.img";
  const std::string key = test::Sha256OfFile(std::string(KESTRUM_TEST_SOURCE_DIR) + "/cli/export_cli_test.cpp");
  const std::string keyFile = image + ".key";
  if (fs::exists(image) && fs::exists(keyFile) && test::ReadWholeFile(keyFile) == key) return image;
  fs::remove(image);
  fs::create_directories(dir + "/data");
  for (int i = 0; i < 200; ++i) {
    std::string bytes(1 << 20, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 131 + i) >> 3);
    char name[32];
    std::snprintf(name, sizeof name, "/data/f%03d.bin", i);
    test::WriteWholeFile(dir + name, bytes);
  }
  const std::string building = image + ".part";
  fs::remove(building);
  auto mk = test::RunCommand({"mkfs.vfat", "-C", "-F", "32", "-s", "1", building, "307200"});
  auto cp = test::RunCommand({"env", "MTOOLS_SKIP_CHECK=1", "mcopy", "-i", building, "-s", dir + "/data", "::data"});
  fs::remove_all(dir + "/data");
  if (mk.exitCode != 0 || cp.exitCode != 0) {
    ADD_FAILURE() << "cannot build " << image << ": " << mk.err << cp.err;
    return "";
  }
  fs::rename(building, image);
  test::WriteWholeFile(keyFile, key);
  return image;
}

TEST(ExportCommand, CtrlCStopsTheExportAndKeepsTheFilesWrittenSoFar) {
  const std::string image = BigFatImage();
  ASSERT_FALSE(image.empty());
  test::TempDir target;
  test::TempDir logs;
  const std::string errPath = logs.File("stderr");
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, STDERR_FILENO);
    ::execl(KESTRUM_CLI_PATH, KESTRUM_CLI_PATH, "export", image.c_str(), target.path().c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until two files were finished (a third is being written), then interrupt.
  const std::string data = target.File("data");
  bool started = false;
  for (int i = 0; i < 6000 && !started; ++i) {
    std::error_code ec;
    started = fs::exists(data + "/F002.BIN", ec) || fs::exists(data + "/f002.bin", ec);
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::string err = test::ReadWholeFile(errPath);
  ASSERT_TRUE(started) << err;
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of stopping";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(Contains(err, "导出文件失败！")) << err;
  std::size_t complete = 0;
  for (const auto& entry : fs::directory_iterator(data)) {
    if (fs::file_size(entry.path()) == (1u << 20)) ++complete;
  }
  EXPECT_GE(complete, 2u) << "the files finished before the stop stay";
  EXPECT_LT(complete, 200u) << "the stop ended the export early";
}

}  // namespace
}  // namespace kestrum
