#pragma once
// The filter's values as people type them, on the command line and in the
// browser's filter bar: sizes with K/M/G, dates and times of day in local
// time, and the recovery chances by name.

#include <cstdint>
#include <string_view>

#include "fs/tree/file_node.h"

namespace kestrum {

// "4096", "10K", "1.5M", "2G", "3T" (also "10KB", any case; powers of
// 1024); the fraction is cut to whole bytes. False for anything else, a
// negative value, or more than 2^64 − 1 bytes.
bool ParseSizeText(std::string_view text, std::uint64_t& bytes);

// "2024-06-30", "2024-06-30 14:05", "2024-06-30T14:05:09" (also with "/"
// for "-"), local time, to Unix seconds. A date without a time of day
// stands for its first second, or with `endOfDay` for its last. False for
// anything else, including days that do not exist (2023-02-29).
bool ParseDateText(std::string_view text, bool endOfDay, std::int64_t& seconds);

// "good", "partial", "overwritten", "unknown", "unverified" (as `ls --json`
// prints them), or the file list's words: "良好", "部分覆盖", "已覆盖",
// "未知", "未验证".
bool ParseRecoveryChance(std::string_view utf8, RecoveryChance& out);

}  // namespace kestrum
