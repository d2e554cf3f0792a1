// Starting the program again with administrator rights: the command line it
// is given reads back as the same arguments (quoting), and under Wine, where
// "runas" needs no prompt, the program runs and has ended when the call returns.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/elevation.h"
#include "platform/windows/win32.h"

#include <shellapi.h>  // after windows.h
#include "windows_test.h"

namespace kestrum::wintest {
namespace {

using platform::win32::QuoteArgument;
using platform::win32::Utf8;
using platform::win32::WideFromUtf8;

// What the system's own parser makes of `program` followed by the quoted arguments.
std::vector<std::wstring> ParsedBack(const std::vector<std::wstring>& arguments) {
  std::wstring line = L"program.exe";
  for (const std::wstring& a : arguments) line += L" " + QuoteArgument(a);
  int count = 0;
  LPWSTR* parsed = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> back(parsed + 1, parsed + count);
  LocalFree(parsed);
  return back;
}

const std::vector<std::wstring> kAwkward = {
    L"plain", L"", L"two words", L"tab\there", L"quo\"te", L"\"", L"trailing\\", L"C:\\dir with space\\",
    L"back\\\\\"slashes", L"\\\\.\\PhysicalDrive1", L"镜像 文件.img", L"\U0001F600"};

TEST(WindowsElevation, QuotedArgumentsReadBackAsTheyWere) {
  EXPECT_EQ(ParsedBack(kAwkward), kAwkward);
  EXPECT_EQ(QuoteArgument(L"plain"), L"plain");
  EXPECT_EQ(QuoteArgument(L"a b\\"), L"\"a b\\\\\"");
}

TEST(WindowsElevation, TheProgramRunsWithTheArgumentsAndHasEndedOnReturn) {
  TempFolder folder;
  const std::string file = Utf8(folder.File(L"args.txt"));
  std::vector<std::string> arguments = {"--child", "write", file};
  std::string expected;
  for (const std::wstring& a : kAwkward) {
    arguments.push_back(Utf8(a));
    expected += Utf8(a) + "\n";
  }
  std::string why;
  ASSERT_EQ(platform::RunElevated(arguments, why), platform::ElevatedRun::kEnded) << why;
  EXPECT_EQ(ReadFileBytes(WideFromUtf8(file)), expected);
}

}  // namespace
}  // namespace kestrum::wintest
