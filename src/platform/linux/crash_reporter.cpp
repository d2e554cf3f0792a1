#include "platform/crash_reporter.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/process.h"

extern char** environ;

namespace kestrum {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr const char* kSignalNames[] = {"SIGSEGV", "SIGBUS", "SIGFPE", "SIGILL", "SIGABRT"};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

int SlotOf(int sig) {
  for (int i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] == sig) return i;
  }
  return -1;
}

// A path and what the user is told of it, prepared before any crash.
struct DumpTarget {
  char path[PATH_MAX] = {};
  char message[PATH_MAX + 256] = {};
  std::size_t messageLength = 0;
  char* relaunchArgs[4] = {};
};

// Everything the handler reads; written only while installing.
struct Reporter {
  std::atomic<bool> active{false};
  std::atomic<bool> handling{false};
  struct sigaction previous[kSignalCount] = {};
  struct sigaction ours = {};
  DumpTarget primary;   // beside the program
  DumpTarget fallback;  // in the state folder
  bool primaryFirst = false;
  char stateFolder[PATH_MAX] = {};
  char messageProgram[PATH_MAX] = {};
  CrashNotice notice = CrashNotice::kStderr;
};

Reporter& TheReporter() {
  static Reporter reporter;
  return reporter;
}

alignas(16) char gAltStack[1 << 16];

using SigactionFn = int (*)(int, const struct sigaction*, struct sigaction*);

extern "C" int __sigaction(int, const struct sigaction*, struct sigaction*);

// The sigaction this file's own one stands in front of.
SigactionFn RealSigaction() {
  static SigactionFn real = [] {
    auto next = reinterpret_cast<SigactionFn>(dlsym(RTLD_NEXT, "sigaction"));
    return next != nullptr ? next : &__sigaction;
  }();
  return real;
}

// ---- writing without the C library's buffered or allocating calls

void PutBytes(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

void Put(int fd, const char* text) { PutBytes(fd, text, std::strlen(text)); }

void PutHex(int fd, std::uint64_t value) {
  char digits[19] = {'0', 'x'};
  for (int i = 0; i < 16; ++i) digits[17 - i] = "0123456789abcdef"[(value >> (4 * i)) & 0xF];
  PutBytes(fd, digits, 18);
}

void PutDecimal(int fd, long long value) {
  char digits[24];
  int at = sizeof digits;
  bool negative = value < 0;
  unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  do {
    digits[--at] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) digits[--at] = '-';
  PutBytes(fd, digits + at, sizeof digits - static_cast<std::size_t>(at));
}

void PutRegisters(int fd, const void* context) {
  if (context == nullptr) return;
  const auto* uc = static_cast<const ucontext_t*>(context);
  Put(fd, "registers:\n");
#if defined(__x86_64__)
  static constexpr struct {
    const char* name;
    int index;
  } kRegisters[] = {{"rip", REG_RIP}, {"rsp", REG_RSP}, {"rbp", REG_RBP}, {"rax", REG_RAX}, {"rbx", REG_RBX},
                    {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI}, {"rdi", REG_RDI}, {"r8", REG_R8},
                    {"r9", REG_R9},   {"r10", REG_R10}, {"r11", REG_R11}, {"r12", REG_R12}, {"r13", REG_R13},
                    {"r14", REG_R14}, {"r15", REG_R15}, {"eflags", REG_EFL}, {"err", REG_ERR}, {"trapno", REG_TRAPNO}};
  for (const auto& r : kRegisters) {
    Put(fd, "  ");
    Put(fd, r.name);
    Put(fd, " ");
    PutHex(fd, static_cast<std::uint64_t>(uc->uc_mcontext.gregs[r.index]));
    Put(fd, "\n");
  }
#elif defined(__aarch64__)
  for (int i = 0; i < 31; ++i) {
    Put(fd, "  x");
    PutDecimal(fd, i);
    Put(fd, " ");
    PutHex(fd, uc->uc_mcontext.regs[i]);
    Put(fd, "\n");
  }
  Put(fd, "  sp ");
  PutHex(fd, uc->uc_mcontext.sp);
  Put(fd, "\n  pc ");
  PutHex(fd, uc->uc_mcontext.pc);
  Put(fd, "\n");
#else
  Put(fd, "  (not recorded on this processor)\n");
#endif
}

void CopyFile(int fd, const char* path) {
  int in = ::open(path, O_RDONLY | O_CLOEXEC);
  if (in < 0) return;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    PutBytes(fd, buffer, static_cast<std::size_t>(n));
  }
  ::close(in);
}

void WriteDump(int fd, int sig, const siginfo_t* info, const void* context) {
  int slot = SlotOf(sig);
  Put(fd, "Kestrum crash report\nsignal: ");
  PutDecimal(fd, sig);
  Put(fd, " (");
  Put(fd, slot >= 0 ? kSignalNames[slot] : "?");
  Put(fd, ")\ncode: ");
  PutDecimal(fd, info != nullptr ? info->si_code : 0);
  Put(fd, "\naddress: ");
  PutHex(fd, info != nullptr ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0);
  Put(fd, "\nprocess: ");
  PutDecimal(fd, ::getpid());
  Put(fd, "\nthread: ");
  PutDecimal(fd, static_cast<long long>(::syscall(SYS_gettid)));
  Put(fd, "\n");
  PutRegisters(fd, context);
  Put(fd, "backtrace:\n");
  void* frames[64];
  int count = ::backtrace(frames, 64);
  ::backtrace_symbols_fd(frames, count, fd);
  Put(fd, "memory map:\n");
  CopyFile(fd, "/proc/self/maps");
}

// Creates the state folder and its parents, as far as they are missing.
void MakeFolders(const char* folder) {
  char path[PATH_MAX];
  std::size_t length = std::strlen(folder);
  if (length == 0 || length >= sizeof path) return;
  std::memcpy(path, folder, length + 1);
  for (std::size_t i = 1; i <= length; ++i) {
    if (path[i] != '/' && path[i] != '\0') continue;
    char kept = path[i];
    path[i] = '\0';
    ::mkdir(path, 0755);
    path[i] = kept;
  }
}

int CreateDump(const DumpTarget& target) {
  if (target.path[0] == '\0') return -1;
  return ::open(target.path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

void Notify(const Reporter& r, const DumpTarget& target) {
  if (r.notice == CrashNotice::kStderr) {
    PutBytes(STDERR_FILENO, target.message, target.messageLength);
    return;
  }
  pid_t child = ::_Fork();
  if (child == 0) {
    ::execve(r.messageProgram, target.relaunchArgs, environ);
    ::_exit(127);
  }
  // Like a message box: the crashed process stays until the user has read it.
  int status = 0;
  while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// The disposition found at installation decides how the process ends.
void RunPrevious(int sig, siginfo_t* info, void* context) {
  int slot = SlotOf(sig);
  const struct sigaction& previous = TheReporter().previous[slot];
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(sig, info, context);
    return;
  }
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
    return;
  }
  // The default action (a fault cannot be ignored): pending until this
  // handler returns, then it ends the process with the signal.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  RealSigaction()(sig, &fallback, nullptr);
  ::raise(sig);
}

void OnFatalSignal(int sig, siginfo_t* info, void* context) {
  int savedErrno = errno;
  Reporter& r = TheReporter();
  // One dump per run: a second fault (another thread, or inside this handler)
  // goes straight to the previous disposition.
  if (!r.handling.exchange(true)) {
    const DumpTarget* first = r.primaryFirst ? &r.primary : &r.fallback;
    const DumpTarget* second = r.primaryFirst ? &r.fallback : nullptr;
    const DumpTarget* written = first;
    if (first == &r.fallback) MakeFolders(r.stateFolder);
    int fd = CreateDump(*first);
    if (fd < 0 && second != nullptr) {
      MakeFolders(r.stateFolder);
      fd = CreateDump(*second);
      written = second;
    }
    if (fd >= 0) {
      WriteDump(fd, sig, info, context);
      ::close(fd);
      Notify(r, *written);
    }
  }
  RunPrevious(sig, info, context);
  errno = savedErrno;
}

// ---- installation (ordinary code: allocation allowed)

bool CopyInto(char* out, std::size_t capacity, const std::string& text) {
  if (text.size() >= capacity) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

void Prepare(DumpTarget& target, const std::string& path, Reporter& r) {
  if (path.empty() || !CopyInto(target.path, sizeof target.path, path)) return;
  std::string message = CrashMessage(path) + "\n";
  if (!CopyInto(target.message, sizeof target.message, message)) {
    target.path[0] = '\0';
    return;
  }
  target.messageLength = message.size();
  static char option[] = "--crash-message";
  target.relaunchArgs[0] = r.messageProgram;
  target.relaunchArgs[1] = option;
  target.relaunchArgs[2] = target.path;
  target.relaunchArgs[3] = nullptr;
}

// The folder of a program path: the part before its last '/', when the name
// after it has at least three characters (the program's own file is never a
// dump target).
std::string FolderOf(const std::string& program) {
  std::size_t slash = program.rfind('/');
  if (slash == std::string::npos || program.size() - slash - 1 < 3) return "";
  return slash == 0 ? "/" : program.substr(0, slash);
}

void UseAlternateStack() {
  stack_t current = {};
  if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;  // one is set
  stack_t stack = {};
  stack.ss_sp = gAltStack;
  stack.ss_size = sizeof gAltStack;
  ::sigaltstack(&stack, nullptr);
}

}  // namespace

std::string CrashDumpPath() { return TheReporter().primary.path; }
std::string FallbackCrashDumpPath() { return TheReporter().fallback.path; }

bool InstallCrashReporter(const CrashReporterOptions& options) {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return false;
  Reporter& r = TheReporter();
  const std::string program = options.programPath.empty() ? platform::ExecutablePath() : options.programPath;
  const std::string state = options.stateFolder.empty() ? StateFolder() : options.stateFolder;
  CopyInto(r.stateFolder, sizeof r.stateFolder, state);
  CopyInto(r.messageProgram, sizeof r.messageProgram,
           options.messageProgram.empty() ? program : options.messageProgram);
  r.notice = options.notice;

  // The name is fixed now: every crash of this run writes the same file.
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  const std::string name = CrashDumpName(local.tm_hour, local.tm_min, local.tm_sec);
  const std::string folder = FolderOf(program);
  if (!folder.empty()) Prepare(r.primary, folder + "/" + name, r);
  Prepare(r.fallback, state + "/" + name, r);
  r.primaryFirst = r.primary.path[0] != '\0' && ::access(folder.c_str(), W_OK) == 0;

  // The first backtrace loads the unwinder (allocating); do it now, not in the handler.
  void* frames[4];
  ::backtrace(frames, 4);
  UseAlternateStack();

  r.ours.sa_sigaction = OnFatalSignal;
  r.ours.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&r.ours.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) RealSigaction()(kSignals[i], &r.ours, &r.previous[i]);
  r.active.store(true);
  std::atexit(RemoveCrashReporter);
  return true;
}

void RemoveCrashReporter() {
  Reporter& r = TheReporter();
  if (!r.active.exchange(false)) return;
  for (int i = 0; i < kSignalCount; ++i) RealSigaction()(kSignals[i], &r.previous[i], nullptr);
}

}  // namespace kestrum

// While the reporter is installed, later calls that would replace its handlers
// change nothing and report the handler as the one in force; every other call
// goes to the C library.
extern "C" int sigaction(int sig, const struct sigaction* act, struct sigaction* old) noexcept {
  using kestrum::TheReporter;
  if (act != nullptr && kestrum::SlotOf(sig) >= 0 && TheReporter().active.load()) {
    if (old != nullptr) *old = TheReporter().ours;
    return 0;
  }
  return kestrum::RealSigaction()(sig, act, old);
}

extern "C" __sighandler_t signal(int sig, __sighandler_t handler) noexcept {
  struct sigaction act = {};
  act.sa_handler = handler;
  act.sa_flags = SA_RESTART;
  sigemptyset(&act.sa_mask);
  struct sigaction old = {};
  if (sigaction(sig, &act, &old) != 0) return SIG_ERR;
  return (old.sa_flags & SA_SIGINFO) != 0 ? reinterpret_cast<__sighandler_t>(reinterpret_cast<void*>(old.sa_sigaction))
                                          : old.sa_handler;
}
