#pragma once
// How nodes read as text: sizes as the file list shows them, times in UTC
// and in local time.

#include <cstdint>
#include <string>

#include "fs/tree/file_node.h"

namespace kestrum {

// "      0 KB" style: whole kibibytes, rounded up from a remainder of 500.
std::u16string SizeText(std::uint64_t size);
// "2026-12-08T16:56:00Z"; empty for 0 (no time).
std::string FileTimeToIsoUtc(std::uint64_t fileTime);
// "2026-12-8 16:56:00" in local time; empty for 0.
std::u16string FileTimeToLocalText(std::uint64_t fileTime);
// Seconds since 1970 (UTC) of a FILETIME; FILETIMEs before 1970 give negative values.
std::int64_t FileTimeToUnixSeconds(std::uint64_t fileTime);

// "unknown", "good", "partial", "overwritten", "unverified".
const char* RecoveryName(RecoveryChance chance);

}  // namespace kestrum
