#pragma once
// DOS date and time (FAT and exFAT timestamps, local time) to FILETIME (UTC).

#include <cstdint>

namespace kestrum {

// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// 0 when the month field is 0 or above 12: such a date names no time.
std::uint64_t DosTimeToFileTime(std::uint16_t date, std::uint16_t time);

// Seconds to add to local time to get UTC; taken once per run, at the first call.
std::int64_t LocalTimeBias();

// For tests: forget the cached bias so the next call reads the zone again.
void ResetLocalTimeBiasForTesting();

}  // namespace kestrum
