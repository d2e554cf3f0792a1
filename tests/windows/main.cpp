// The Windows side's tests, and the child modes they start this program in:
//   kestrum_windows_tests --child print ARG...     each argument on a line of stdout
//   kestrum_windows_tests --child write FILE ARG...  each argument on a line of FILE
//   kestrum_windows_tests --child crash KIND PROGRAM
// "crash" installs the crash reporter as PROGRAM would (its state folder the
// default one), lets later code try to replace the exception filter, then
// fails: KIND "access" writes to an unmapped address, "abort" calls abort().

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/crash_reporter.h"
#include "platform/windows/win32.h"
#include "windows_test.h"

namespace kestrum::wintest {

namespace {

LONG WINAPI Displaced(EXCEPTION_POINTERS*) { ExitProcess(42); }

__attribute__((noinline)) void Fail(const std::string& kind) {
  if (kind == "abort") std::abort();
  volatile std::uintptr_t unmapped = 16;  // through a variable: no constant address to warn of
  *reinterpret_cast<volatile int*>(unmapped) = 1;
}

int Child(const std::vector<std::string>& args) {
  if (args.size() >= 3 && args[2] == "print") {
    platform::PrepareConsole();
    for (std::size_t i = 3; i < args.size(); ++i) std::fprintf(stdout, "%s\n", args[i].c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (args.size() >= 4 && args[2] == "write") {
    FILE* out = _wfopen(platform::win32::WideFromUtf8(args[3]).c_str(), L"wb");
    if (out == nullptr) return 3;
    for (std::size_t i = 4; i < args.size(); ++i) std::fprintf(out, "%s\n", args[i].c_str());
    return std::fclose(out) == 0 ? 0 : 1;
  }
  if (args.size() == 5 && args[2] == "crash") {
    CrashReporterOptions options;
    options.programPath = args[4];
    if (!InstallCrashReporter(options)) return 4;
    // Runtime libraries install their own filters; none takes the place of ours.
    if (SetUnhandledExceptionFilter(Displaced) != nullptr) return 5;
    Fail(args[3]);
    return 6;  // no fault
  }
  return 2;
}

}  // namespace

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, base);
  for (unsigned n = GetTickCount(); path_.empty(); ++n) {
    std::wstring candidate = std::wstring(base) + L"kestrum-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(n);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
    else if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

namespace {

void RemoveTree(const std::wstring& folder) {
  for (const std::wstring& name : FilesIn(folder)) {
    const std::wstring path = folder + L"\\" + name;
    if ((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0) RemoveTree(path);
    else DeleteFileW(path.c_str());
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

ChildResult RunChild(const std::vector<std::wstring>& args) {
  ChildResult result;
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --child";
  for (const std::wstring& arg : args) command += L" \"" + arg + L"\"";
  TempFolder folder;
  const std::wstring errPath = folder.File(L"stderr.txt");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = err;
  startup.hStdError = err;
  PROCESS_INFORMATION child{};
  result.exitCode = 0xFFFFFFFF;
  if (CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    result.exitCode = code;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  CloseHandle(err);
  result.err = ReadFileBytes(errPath);
  return result;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  if (FILE* in = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes.append(buffer, n);
    std::fclose(in);
  }
  return bytes;
}

}  // namespace kestrum::wintest

int main(int argc, char** argv) {
  const std::vector<std::string> args = kestrum::platform::Utf8Arguments(argc, argv);
  if (args.size() >= 2 && args[1] == "--child") return kestrum::wintest::Child(args);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
