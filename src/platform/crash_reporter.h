#pragma once
// Crash reporting. On Linux, handlers for the fatal signals write a text dump
// (signal, fault address, registers, a backtrace, the memory map); on Windows
// the top-level exception filter (and SIGABRT) writes a minidump. Either is
// named after the time the program started; the user is told which file to
// send, and the process then ends as it would have ended. The handler uses
// only calls that are safe in a crashed process: everything it needs (paths,
// message texts, the arguments of the message program) is prepared when the
// reporter is installed.

#include <string>

#include "platform/state_folder.h"

namespace kestrum {

// How the user learns of a dump: a line on stderr (the CLI), or the program
// started again in its message-only mode (the GUI: a signal handler must not
// drive the window toolkit).
enum class CrashNotice { kStderr, kRelaunch };

// The option that starts the desktop program in its message-only mode:
// `kestrum --crash-message DUMP`.
inline constexpr const char* kCrashMessageOption = "--crash-message";

struct CrashReporterOptions {
  std::string programPath;  // empty: the running executable
  std::string stateFolder;  // empty: StateFolder()
  CrashNotice notice = CrashNotice::kStderr;
  std::string messageProgram;  // kRelaunch: run as `messageProgram --crash-message DUMP`; empty: programPath
};

// Installs the handlers (Linux: SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT,
// on an alternate stack for the calling thread; Windows: the unhandled
// exception filter and SIGABRT) and fixes the dump name. Once per process: a
// second call changes nothing and answers false. From then on, calls by any
// other code that would replace them (`signal`, `sigaction`,
// `SetUnhandledExceptionFilter`) leave them in place. At exit (or
// RemoveCrashReporter) the previous ones are back.
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

}  // namespace kestrum
