// A crash under Wine: the child (main.cpp) faults or aborts with the crash
// reporter installed, and the minidump appears under the name the Linux
// build gives its dump, beside the program or, when the program's folder
// cannot take it, in the state folder (%LOCALAPPDATA%\Kestrum).

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "platform/crash_reporter.h"
#include "platform/state_folder.h"
#include "platform/windows/win32.h"
#include "windows_test.h"

namespace kestrum::wintest {
namespace {

using platform::win32::Utf8;
using platform::win32::WideFromUtf8;

std::vector<std::wstring> DumpsIn(const std::wstring& folder) {
  std::vector<std::wstring> dumps;
  for (const std::wstring& name : FilesIn(folder)) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, L".dmp") == 0) dumps.push_back(name);
  }
  return dumps;
}

bool NamedForATimeBetween(const std::wstring& name, std::time_t from, std::time_t to) {
  for (std::time_t t = from; t <= to; ++t) {
    std::tm local = {};
    localtime_s(&local, &t);
    if (Utf8(name) == CrashDumpName(local.tm_hour, local.tm_min, local.tm_sec)) return true;
  }
  return false;
}

TEST(WindowsCrash, TheMinidumpHasTheLinuxNameBesideTheProgramElseInTheStateFolder) {
  const std::wstring state = WideFromUtf8(StateFolder());
  const struct {
    const wchar_t* kind;
    bool programFolderExists;
    unsigned long exitCode;
  } cases[] = {
      {L"access", false, EXCEPTION_ACCESS_VIOLATION},
      {L"access", true, EXCEPTION_ACCESS_VIOLATION},
      {L"abort", false, 3},  // abort()'s own status, after the dump
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.kind) + (c.programFolderExists ? " beside the program" : " in the state folder"));
    TempFolder folder;
    const std::wstring programFolder = c.programFolderExists ? folder.path() : folder.File(L"gone");
    const std::wstring where = c.programFolderExists ? folder.path() : state;
    const std::vector<std::wstring> earlier = DumpsIn(state);
    const std::time_t before = std::time(nullptr);
    const ChildResult r = RunChild({L"crash", c.kind, programFolder + L"\\kestrum.exe"});
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(r.exitCode, c.exitCode) << "ended by the fault, not by a filter installed later (42); " << r.err;

    std::vector<std::wstring> dumps;
    for (const std::wstring& name : DumpsIn(where)) {
      if (where != state || std::find(earlier.begin(), earlier.end(), name) == earlier.end()) dumps.push_back(name);
    }
    ASSERT_EQ(dumps.size(), 1u) << r.err;
    EXPECT_TRUE(NamedForATimeBetween(dumps[0], before, after)) << Utf8(dumps[0]);
    const std::wstring path = where + L"\\" + dumps[0];
    EXPECT_EQ(ReadFileBytes(path).substr(0, 4), "MDMP") << "a minidump";
    EXPECT_NE(r.err.find(CrashMessage(Utf8(path))), std::string::npos) << r.err;
    if (c.programFolderExists) {
      EXPECT_EQ(DumpsIn(state), earlier) << "the state folder is only the fallback";
    }
    DeleteFileW(path.c_str());
  }
}

}  // namespace
}  // namespace kestrum::wintest
