#pragma once
// The terminal a command-line program talks to: UTF-8 text out, its
// arguments in UTF-8, whether a stream is a terminal, and Ctrl-C.

#include <string>
#include <vector>

namespace kestrum::platform {

enum class Stream { kIn, kOut, kErr };

// UTF-8 on the console, bytes written as they are (no newline translation),
// and terminal control sequences understood where the console needs asking.
void PrepareConsole();
bool IsTerminal(Stream stream);
// The program's arguments as UTF-8, whatever the system passes to main.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Ctrl-C (and, on Linux, SIGTERM) calls `handler`, on whatever thread the
// system chooses; it must only touch atomics. Replaces an earlier handler.
void OnInterrupt(void (*handler)());

}  // namespace kestrum::platform
