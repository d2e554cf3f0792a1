#include "platform/console.h"

#include "platform/windows/win32.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>

namespace kestrum::platform {

namespace {

std::atomic<void (*)()> gInterrupt{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (auto handler = gInterrupt.load()) handler();
  return TRUE;  // handled: the worker stops, the process is not ended here
}

HANDLE StandardHandle(Stream stream) {
  return GetStdHandle(stream == Stream::kIn ? STD_INPUT_HANDLE : stream == Stream::kOut ? STD_OUTPUT_HANDLE
                                                                                        : STD_ERROR_HANDLE);
}

}  // namespace

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  // The program writes UTF-8 with "\n" as on Linux: no translation on the way out.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The progress line redraws itself with "\r" and an erase-to-end sequence.
  HANDLE err = StandardHandle(Stream::kErr);
  DWORD mode = 0;
  if (GetConsoleMode(err, &mode)) SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool IsTerminal(Stream stream) {
  // The NUL device is a character device too; only a console answers GetConsoleMode.
  DWORD mode = 0;
  return GetConsoleMode(StandardHandle(stream), &mode) != FALSE;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(win32::Utf8(wide[i]));
  LocalFree(wide);
  return args;
}

void OnInterrupt(void (*handler)()) {
  gInterrupt.store(handler);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace kestrum::platform
