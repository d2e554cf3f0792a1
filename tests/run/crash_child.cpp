// The process the crash reporter tests crash on purpose:
//   crash_child crash|relaunch SIGNAL PROGRAM STATE [MESSAGE_PROGRAM]
//   crash_child restore
// "crash" installs the reporter as PROGRAM would (state folder STATE), lets
// later code try to replace the handlers, then raises SIGNAL the way a real
// fault does. "restore" checks that the dispositions found at installation are
// back at exit (status 0) or not (3).

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/crash_reporter.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void Displaced(int) { _exit(42); }
void Earlier(int) { _exit(43); }

__attribute__((no_sanitize("address", "undefined"))) void Fault(int sig) {
  switch (sig) {
    case SIGSEGV:
      *reinterpret_cast<volatile int*>(16) = 1;
      break;
    case SIGFPE: {
#if defined(__x86_64__)
      // A real integer division by zero (the compiler may not drop it).
      int zero = 0;
      int quotient = 0;
      asm volatile("movl $1, %%eax\n\tcltd\n\tidivl %1" : "=a"(quotient) : "r"(zero) : "edx");
      (void)quotient;
#endif
      raise(SIGFPE);  // where the processor (or its emulation) does not trap
      break;
    }
    case SIGILL:
      __builtin_trap();
    case SIGBUS: {
      // A mapped page past the end of its file.
      char path[] = "/tmp/kestrum-bus-XXXXXX";
      int fd = mkstemp(path);
      unlink(path);
      if (fd < 0 || ftruncate(fd, 4096) != 0) break;
      auto* page = static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
      if (page == MAP_FAILED || ftruncate(fd, 0) != 0) break;
      (void)page[0];
      break;
    }
    case SIGABRT:
      std::abort();
  }
}

void CheckRestored() {
  for (int sig : kSignals) {
    struct sigaction now = {};
    if (sigaction(sig, nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO) != 0 || now.sa_handler != Earlier) _exit(3);
  }
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "restore") == 0) {
    for (int sig : kSignals) signal(sig, Earlier);
    std::atexit(CheckRestored);  // runs after the reporter's own exit handler
    if (!kestrum::InstallCrashReporter()) return 4;
    if (kestrum::InstallCrashReporter()) return 5;  // once per process
    return 0;
  }
  if (argc < 5) return 2;
  const std::string mode = argv[1];
  const int sig = std::atoi(argv[2]);
  kestrum::CrashReporterOptions options;
  options.programPath = argv[3];
  options.stateFolder = argv[4];
  if (mode == "relaunch" && argc == 6) {
    options.notice = kestrum::CrashNotice::kRelaunch;
    options.messageProgram = argv[5];
  }
  if (!kestrum::InstallCrashReporter(options)) return 4;
  // Other code installing its own handlers later changes nothing.
  signal(sig, SIG_IGN);
  signal(sig, Displaced);
  struct sigaction other = {};
  other.sa_handler = Displaced;
  sigemptyset(&other.sa_mask);
  sigaction(sig, &other, nullptr);
  Fault(sig);
  return 6;  // the fault did not happen
}
