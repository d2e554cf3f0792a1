#include "platform/crash_reporter.h"

#include "platform/process.h"
#include "platform/windows/win32.h"

#include <dbghelp.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace kestrum {

namespace {

using platform::win32::Utf8;
using platform::win32::WideFromUtf8;

// x86-64: xor eax, eax; ret — SetUnhandledExceptionFilter then answers null
// and changes nothing.
constexpr unsigned char kPatch[] = {0x33, 0xC0, 0xC3};
constexpr std::size_t kPatchBytes = sizeof kPatch;

// A path and what the user is told of it, prepared before any crash.
struct DumpTarget {
  wchar_t path[MAX_PATH + 1] = {};
  char message[4 * MAX_PATH + 256] = {};
  DWORD messageLength = 0;
  wchar_t commandLine[3 * MAX_PATH + 64] = {};
};

// Everything the filter reads; written only while installing.
struct Reporter {
  std::atomic<bool> active{false};
  std::atomic<bool> handling{false};
  LPTOP_LEVEL_EXCEPTION_FILTER previous = nullptr;
  void (*previousAbort)(int) = SIG_DFL;
  unsigned char* entry = nullptr;  // SetUnhandledExceptionFilter's first bytes
  unsigned char saved[kPatchBytes] = {};
  DumpTarget primary;   // beside the program
  DumpTarget fallback;  // in the state folder
  wchar_t stateFolder[MAX_PATH + 1] = {};
  wchar_t messageProgram[MAX_PATH + 1] = {};
  CrashNotice notice = CrashNotice::kStderr;
};

Reporter& TheReporter() {
  static Reporter reporter;
  return reporter;
}

bool CopyInto(wchar_t* out, std::size_t capacity, const std::wstring& text) {
  if (text.size() >= capacity) return false;
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return true;
}

void Prepare(DumpTarget& target, const std::wstring& path, const Reporter& r) {
  if (path.empty() || !CopyInto(target.path, MAX_PATH + 1, path)) return;
  const std::string message = CrashMessage(Utf8(path)) + "\n";
  const std::wstring command =
      L"\"" + std::wstring(r.messageProgram) + L"\" " + WideFromUtf8(kCrashMessageOption) + L" \"" + path + L"\"";
  if (message.size() >= sizeof target.message || !CopyInto(target.commandLine, sizeof target.commandLine / sizeof(wchar_t), command)) {
    target.path[0] = L'\0';
    return;
  }
  std::memcpy(target.message, message.c_str(), message.size() + 1);
  target.messageLength = static_cast<DWORD>(message.size());
}

// The folder of a program path: the part before its last separator, when the
// name after it has at least three characters (the program's own file is
// never a dump target).
std::wstring FolderOf(const std::wstring& program) {
  const std::size_t slash = program.find_last_of(L"\\/");
  if (slash == std::wstring::npos || program.size() - slash - 1 < 3) return L"";
  return program.substr(0, slash);
}

void MakeFolders(const wchar_t* folder) {
  wchar_t path[MAX_PATH + 1];
  const std::size_t length = wcslen(folder);
  if (length == 0 || length > MAX_PATH) return;
  std::memcpy(path, folder, (length + 1) * sizeof(wchar_t));
  for (std::size_t i = 1; i <= length; ++i) {
    if (path[i] != L'\\' && path[i] != L'/' && path[i] != L'\0') continue;
    if (i == 2 && path[1] == L':') continue;  // "C:" is no folder to make
    const wchar_t kept = path[i];
    path[i] = L'\0';
    CreateDirectoryW(path, nullptr);
    path[i] = kept;
  }
}

HANDLE CreateDump(const DumpTarget& target) {
  if (target.path[0] == L'\0') return INVALID_HANDLE_VALUE;
  return CreateFileW(target.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

void Notify(const Reporter& r, const DumpTarget& target) {
  if (r.notice == CrashNotice::kStderr) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), target.message, target.messageLength, &written, nullptr);
    return;
  }
  // Like a message box: the crashed process stays until the user has read it.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  wchar_t command[sizeof target.commandLine / sizeof(wchar_t)];
  std::memcpy(command, target.commandLine, sizeof command);
  if (CreateProcessW(r.messageProgram, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
}

// One dump per run: a second fault (another thread, or inside this filter)
// goes on to the system's own handling.
bool WriteDumpOnce(EXCEPTION_POINTERS* pointers) {
  Reporter& r = TheReporter();
  if (r.handling.exchange(true)) return false;
  const DumpTarget* written = &r.primary;
  HANDLE file = CreateDump(r.primary);
  if (file == INVALID_HANDLE_VALUE) {
    MakeFolders(r.stateFolder);
    written = &r.fallback;
    file = CreateDump(r.fallback);
  }
  if (file == INVALID_HANDLE_VALUE) return false;  // no message: the system's handling follows
  MINIDUMP_EXCEPTION_INFORMATION exception{};
  exception.ThreadId = GetCurrentThreadId();
  exception.ExceptionPointers = pointers;
  exception.ClientPointers = FALSE;
  const BOOL dumped = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                        pointers != nullptr ? &exception : nullptr, nullptr, nullptr);
  CloseHandle(file);
  Notify(r, *written);
  return dumped != FALSE;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  return WriteDumpOnce(pointers) ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

// abort() raises SIGABRT and ends the process without an exception: the
// dump is written here, with the state of the aborting thread.
void OnAbort(int sig) {
  WriteDumpOnce(nullptr);
  Reporter& r = TheReporter();
  if (r.previousAbort != SIG_DFL && r.previousAbort != SIG_IGN && r.previousAbort != SIG_ERR) r.previousAbort(sig);
}

bool WriteEntry(unsigned char* entry, const unsigned char* bytes) {
  DWORD old = 0;
  if (!VirtualProtect(entry, kPatchBytes, PAGE_EXECUTE_READWRITE, &old)) return false;
  SIZE_T done = 0;
  const bool ok = WriteProcessMemory(GetCurrentProcess(), entry, bytes, kPatchBytes, &done) && done == kPatchBytes;
  VirtualProtect(entry, kPatchBytes, old, &old);
  FlushInstructionCache(GetCurrentProcess(), entry, kPatchBytes);
  return ok;
}

// Later calls of SetUnhandledExceptionFilter by any code in the process
// (runtime libraries install their own) change nothing.
void PatchFilterEntry(Reporter& r) {
  HMODULE kernel = LoadLibraryW(L"kernel32.dll");
  if (kernel == nullptr) return;
  auto* entry = reinterpret_cast<unsigned char*>(GetProcAddress(kernel, "SetUnhandledExceptionFilter"));
  if (entry == nullptr) return;
  SIZE_T done = 0;
  if (!ReadProcessMemory(GetCurrentProcess(), entry, r.saved, kPatchBytes, &done) || done != kPatchBytes) return;
  if (WriteEntry(entry, kPatch)) r.entry = entry;
}

}  // namespace

std::string CrashDumpPath() { return Utf8(TheReporter().primary.path); }
std::string FallbackCrashDumpPath() { return Utf8(TheReporter().fallback.path); }

bool InstallCrashReporter(const CrashReporterOptions& options) {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return false;
  Reporter& r = TheReporter();
  const std::wstring program = WideFromUtf8(options.programPath.empty() ? platform::ExecutablePath() : options.programPath);
  const std::wstring state = WideFromUtf8(options.stateFolder.empty() ? StateFolder() : options.stateFolder);
  CopyInto(r.stateFolder, MAX_PATH + 1, state);
  CopyInto(r.messageProgram, MAX_PATH + 1, options.messageProgram.empty() ? program : WideFromUtf8(options.messageProgram));
  r.notice = options.notice;

  // The name is fixed now: every crash of this run writes the same file.
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_s(&local, &now);
  const std::wstring name = WideFromUtf8(CrashDumpName(local.tm_hour, local.tm_min, local.tm_sec));
  const std::wstring folder = FolderOf(program);
  if (!folder.empty()) Prepare(r.primary, folder + L"\\" + name, r);
  Prepare(r.fallback, state + L"\\" + name, r);

  // abort() raises SIGABRT first, which comes here.
  r.previousAbort = std::signal(SIGABRT, OnAbort);
  r.previous = SetUnhandledExceptionFilter(OnUnhandledException);
  PatchFilterEntry(r);
  r.active.store(true);
  std::atexit(RemoveCrashReporter);
  return true;
}

void RemoveCrashReporter() {
  Reporter& r = TheReporter();
  if (!r.active.exchange(false)) return;
  if (r.entry != nullptr && WriteEntry(r.entry, r.saved)) r.entry = nullptr;
  SetUnhandledExceptionFilter(r.previous);
  std::signal(SIGABRT, r.previousAbort == SIG_ERR ? SIG_DFL : r.previousAbort);
}

}  // namespace kestrum
