#pragma once
// What the Windows side shares: wide strings, error numbers, and the HANDLE
// behind a C-runtime descriptor.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace kestrum::platform::win32 {

// UTF-16 both: the core's text is the system's own.
inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string Narrow16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::string Utf8(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

// One argument of a command line as the C runtime's parser
// (CommandLineToArgvW) reads it back: quoted when it is empty or holds a
// space, a tab or a quote; backslashes before a quote, or before the
// closing quote, doubled.
std::wstring QuoteArgument(std::wstring_view argument);

// The errno value nearest to a Windows error.
int ErrnoFromError(DWORD error);
// Sets errno from GetLastError() and answers false, for `return Fail();`.
bool Fail();

HANDLE HandleOf(int fd);
// Hands an open HANDLE to the C runtime; -1 (and the HANDLE closed) on failure.
int AdoptHandle(HANDLE handle);

// DeviceIoControl into a buffer that grows until the answer fits.
bool Control(HANDLE device, DWORD code, const void* in, DWORD inBytes, std::string& out);

}  // namespace kestrum::platform::win32
