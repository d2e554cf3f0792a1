#pragma once
// Crash reporting. Handlers for the fatal signals write a text dump (signal,
// fault address, registers, a backtrace, the memory map) named after the time
// the program started, tell the user which file to send, and then let the
// disposition found at installation end the process as it would have ended.
// The handler uses async-signal-safe calls only: everything it needs (paths,
// message texts, the arguments of the message program) is prepared when the
// reporter is installed.

#include <string>

namespace kestrum {

// How the user learns of a dump: a line on stderr (the CLI), or the program
// started again in its message-only mode (the GUI: a signal handler must not
// drive the window toolkit).
enum class CrashNotice { kStderr, kRelaunch };

// The option that starts the desktop program in its message-only mode:
// `kestrum --crash-message DUMP`.
inline constexpr const char* kCrashMessageOption = "--crash-message";

struct CrashReporterOptions {
  std::string programPath;  // empty: the running executable (/proc/self/exe)
  std::string stateFolder;  // empty: StateFolder()
  CrashNotice notice = CrashNotice::kStderr;
  std::string messageProgram;  // kRelaunch: run as `messageProgram --crash-message DUMP`; empty: programPath
};

// Installs the handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT (on an
// alternate stack for the calling thread) and fixes the dump name. Once per
// process: a second call changes nothing and answers false. From then on,
// `signal` and `sigaction` calls for these signals by any other code leave the
// handlers in place. At exit (or RemoveCrashReporter) the previous
// dispositions are back.
bool InstallCrashReporter(const CrashReporterOptions& options = {});
void RemoveCrashReporter();

// The dump's path beside the program, and the one in the state folder used
// when the program's folder is not writable; empty before installation.
std::string CrashDumpPath();
std::string FallbackCrashDumpPath();

// "1177_HHMMSS.dmp".
std::string CrashDumpName(int hour, int minute, int second);
// What the user is told of a dump (UTF-8).
std::string CrashMessage(const std::string& dumpPath);

// The program's own state folder: $XDG_STATE_HOME/kestrum, by default
// ~/.local/state/kestrum.
std::string StateFolder();

}  // namespace kestrum
