#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace kestrum::platform {

namespace {

std::atomic<void (*)()> gInterrupt{nullptr};

void OnSignal(int) {
  if (auto handler = gInterrupt.load()) handler();
}

}  // namespace

void PrepareConsole() {}  // a Linux terminal takes UTF-8 bytes as they are

bool IsTerminal(Stream stream) {
  const int fd = stream == Stream::kIn ? STDIN_FILENO : stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void OnInterrupt(void (*handler)()) {
  gInterrupt.store(handler);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace kestrum::platform
