#include "platform/process.h"
#include "platform/local_time.h"

#include "platform/windows/win32.h"

#include <cstring>

namespace kestrum::platform {

std::string ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return win32::Utf8(path);
    }
    path.resize(path.size() * 2);
  }
}

const char* PathSeparators() { return "\\/"; }

bool HasAdministratorRights() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD bytes = 0;
  const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &bytes) &&
                        elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

std::uint64_t CurrentThreadId() { return GetCurrentThreadId(); }

std::size_t PageBytes() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwPageSize;
}

void* MapPages(std::size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void* GrowPages(void* pages, std::size_t oldBytes, std::size_t newBytes) {
  // No remapping of committed pages here: the content is copied once.
  void* block = MapPages(newBytes);
  if (block == nullptr) return nullptr;
  if (pages != nullptr) {
    std::memcpy(block, pages, oldBytes < newBytes ? oldBytes : newBytes);
    VirtualFree(pages, 0, MEM_RELEASE);
  }
  return block;
}

void UnmapPages(void* pages, std::size_t) {
  if (pages != nullptr) VirtualFree(pages, 0, MEM_RELEASE);
}

// Large pages need a privilege a user's process seldom holds: plain pages.
void* MapLargePages(std::size_t bytes) { return MapPages(bytes); }

bool LocalTime(std::time_t moment, std::tm& out) { return localtime_s(&out, &moment) == 0; }

long LocalBiasSecondsNow() {
  TIME_ZONE_INFORMATION zone{};
  const DWORD which = GetTimeZoneInformation(&zone);
  LONG minutes = zone.Bias;  // UTC = local + bias
  if (which == TIME_ZONE_ID_DAYLIGHT) minutes += zone.DaylightBias;
  if (which == TIME_ZONE_ID_STANDARD) minutes += zone.StandardBias;
  return static_cast<long>(minutes) * 60;
}

}  // namespace kestrum::platform
