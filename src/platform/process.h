#pragma once
// The running program: its file, its threads, and pages of memory.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrum::platform {

// The executable's full path (UTF-8); empty when the system does not tell.
std::string ExecutablePath();
// The path separators of the system's paths ("/" or "\\/").
const char* PathSeparators();
// Whether the program may read and write disks: root on Linux, an elevated
// administrator's process on Windows.
bool HasAdministratorRights();
std::uint64_t CurrentThreadId();

// Zeroed, page-aligned memory for a growing array: Grow keeps the content
// (moving pages where the system can, copying where it cannot) and may
// change the address. Null on failure.
std::size_t PageBytes();
void* MapPages(std::size_t bytes);
void* GrowPages(void* pages, std::size_t oldBytes, std::size_t newBytes);
void UnmapPages(void* pages, std::size_t bytes);
// The same for a large buffer that is filled and read over and over (the
// deep scan's blocks), in large pages where the system gives them: it is
// first filled with a few page faults instead of one per 4 KiB, and passes
// over it miss the address cache less. Freed with UnmapPages.
void* MapLargePages(std::size_t bytes);

}  // namespace kestrum::platform
