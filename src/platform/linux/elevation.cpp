#include "platform/elevation.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "platform/process.h"

extern char** environ;

namespace kestrum::platform {

namespace {

// pkexec's own exit statuses: the password dialog was dismissed, or the
// user is not allowed.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

}  // namespace

std::string ElevationProgram() {
  const std::string self = ExecutablePath();
  const std::size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash) + "/kestrum-pkexec";
}

ElevatedRun RunElevated(const std::vector<std::string>& arguments, std::string& why) {
  const std::string program = ElevationProgram();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (const int error = ::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ); error != 0) {
    why = std::strerror(error);
    return ElevatedRun::kNotStarted;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const bool refused = WIFEXITED(status) &&
                       (WEXITSTATUS(status) == kPkexecDismissed || WEXITSTATUS(status) == kPkexecNotAuthorized);
  return refused ? ElevatedRun::kRefused : ElevatedRun::kEnded;
}

}  // namespace kestrum::platform
