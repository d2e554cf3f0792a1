// The crash reporter, in a child process crashed on purpose with each fatal
// signal: the dump's name and content, the message, the way the process ends,
// and handlers that later code cannot displace.

#include "platform/crash_reporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <vector>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

// The child's sanitizer runtime leaves the fatal signals alone, so the
// disposition before the reporter is the default one.
test::CommandResult RunChild(const std::vector<std::string>& args) {
  setenv("ASAN_OPTIONS", "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:detect_leaks=0", 1);
  std::vector<std::string> argv{KESTRUM_CRASH_CHILD};
  argv.insert(argv.end(), args.begin(), args.end());
  test::CommandResult r = test::RunCommand(argv);
  unsetenv("ASAN_OPTIONS");
  return r;
}

std::vector<std::string> DumpsIn(const std::string& folder) {
  std::vector<std::string> dumps;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ".dmp") dumps.push_back(entry.path().string());
  }
  return dumps;
}

// Whether `name` is the dump name of a second in [from, to].
bool NamedForATimeBetween(const std::string& name, std::time_t from, std::time_t to) {
  for (std::time_t t = from; t <= to; ++t) {
    std::tm local = {};
    localtime_r(&t, &local);
    if (name == CrashDumpName(local.tm_hour, local.tm_min, local.tm_sec)) return true;
  }
  return false;
}

TEST(CrashReporter, DumpNamesAndTheMessage) {
  EXPECT_EQ(CrashDumpName(9, 5, 7), "1177_090507.dmp");
  EXPECT_EQ(CrashDumpName(23, 59, 0), "1177_235900.dmp");
  EXPECT_EQ(CrashMessage("/opt/kestrum/1177_090507.dmp").rfind("程序运行出现错误，请将文件 /opt/kestrum/1177_090507.dmp发送到", 0), 0u);
  setenv("XDG_STATE_HOME", "/var/state", 1);
  EXPECT_EQ(StateFolder(), "/var/state/kestrum");
  unsetenv("XDG_STATE_HOME");
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(StateFolder(), "/home/u/.local/state/kestrum");
}

TEST(CrashReporter, EachFatalSignalWritesTheDumpBesideTheProgramAndEndsTheProcessWithIt) {
  const struct {
    int sig;
    const char* name;
  } cases[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"}, {SIGABRT, "SIGABRT"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string program = dir.File("kestrum");
    std::time_t before = std::time(nullptr);
    auto r = RunChild({"crash", std::to_string(c.sig), program, dir.File("state")});
    std::time_t after = std::time(nullptr);
    EXPECT_EQ(r.exitCode, 128 + c.sig) << "ended by the signal, not by a handler installed later; " << r.err;
    auto dumps = DumpsIn(dir.path());
    ASSERT_EQ(dumps.size(), 1u) << r.err;
    const std::string name = fs::path(dumps[0]).filename().string();
    EXPECT_TRUE(NamedForATimeBetween(name, before, after)) << name;
    EXPECT_NE(r.err.find(CrashMessage(dumps[0])), std::string::npos) << r.err;
    const std::string dump = test::ReadWholeFile(dumps[0]);
    EXPECT_NE(dump.find("signal: " + std::to_string(c.sig) + " (" + c.name + ")"), std::string::npos) << dump;
    for (const char* part : {"\naddress: 0x", "\nregisters:\n", "\nbacktrace:\n", "\nmemory map:\n", "[stack]"}) {
      EXPECT_NE(dump.find(part), std::string::npos) << part;
    }
    // The backtrace holds frames ("binary(function+0x1f) [0x55…]"), the
    // crashing program's among them, not just its heading.
    const std::size_t from = dump.find("\nbacktrace:\n"), to = dump.find("\nmemory map:\n");
    if (from != std::string::npos && to != std::string::npos && from < to) {
      std::vector<std::string> frames;
      for (const std::string& line : test::Lines(dump.substr(from + 12, to - from - 12))) {
        if (line.find("[0x") != std::string::npos) frames.push_back(line);
      }
      EXPECT_GE(frames.size(), 3u) << dump.substr(from, to - from);
      EXPECT_TRUE(std::any_of(frames.begin(), frames.end(),
                              [](const std::string& f) { return f.find("crash_reporter_test") != std::string::npos ||
                                                                f.find("kestrum") != std::string::npos; }))
          << dump.substr(from, to - from);
    }
    if (c.sig == SIGSEGV) {
      EXPECT_NE(dump.find("address: 0x0000000000000010"), std::string::npos) << "the faulting address";
    }
    EXPECT_FALSE(fs::exists(dir.File("state"))) << "the state folder is only the fallback";
  }
}

TEST(CrashReporter, WithoutAWritableProgramFolderTheDumpGoesToTheStateFolder) {
  test::TempDir dir;
  const std::string state = dir.File("state/kestrum");
  auto r = RunChild({"crash", std::to_string(SIGSEGV), dir.File("gone/kestrum"), state});
  EXPECT_EQ(r.exitCode, 128 + SIGSEGV);
  auto dumps = DumpsIn(state);
  ASSERT_EQ(dumps.size(), 1u) << r.err;
  EXPECT_NE(r.err.find(CrashMessage(dumps[0])), std::string::npos) << r.err;
}

TEST(CrashReporter, NoDumpFileNoMessage) {
  test::TempDir dir;
  test::WriteWholeFile(dir.File("plain"), "a file, not a folder");
  auto r = RunChild({"crash", std::to_string(SIGABRT), dir.File("gone/kestrum"), dir.File("plain/state")});
  EXPECT_EQ(r.exitCode, 128 + SIGABRT);
  EXPECT_EQ(r.err.find("程序运行出现错误"), std::string::npos) << r.err;
  EXPECT_TRUE(DumpsIn(dir.path()).empty());
}

TEST(CrashReporter, TheDesktopProgramIsStartedAgainToShowTheMessage) {
  test::TempDir dir;
  const std::string shower = dir.File("show.sh");
  test::WriteWholeFile(shower, "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > \"$(dirname \"$0\")/shown\"\n");
  ::chmod(shower.c_str(), 0755);
  auto r = RunChild({"relaunch", std::to_string(SIGSEGV), dir.File("kestrum"), dir.File("state"), shower});
  EXPECT_EQ(r.exitCode, 128 + SIGSEGV);
  auto dumps = DumpsIn(dir.path());
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(test::ReadWholeFile(dir.File("shown")), std::string(kCrashMessageOption) + "|" + dumps[0]);
  EXPECT_EQ(r.err.find("程序运行出现错误"), std::string::npos) << "the message is the desktop program's to show";
}

TEST(CrashReporter, ThePreviousHandlersAreBackAtExit) {
  auto r = RunChild({"restore"});
  EXPECT_EQ(r.exitCode, 0) << "3: not restored, 4/5: installed not exactly once";
}

}  // namespace
}  // namespace kestrum
