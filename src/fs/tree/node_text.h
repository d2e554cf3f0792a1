#pragma once
// How nodes read as text: sizes as the file list shows them, times in UTC
// and in local time.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fs/tree/file_node.h"

namespace kestrum {

// "      0 KB" style: whole kibibytes, rounded up from a remainder of 500.
std::u16string SizeText(std::uint64_t size);
// "2026-12-08T16:56:00Z"; empty for 0 (no time).
std::string FileTimeToIsoUtc(std::uint64_t fileTime);
// Writes the same 20 characters as FileTimeToIsoUtc into `text` without
// allocating, or answers false where that text is empty. It keeps the date of
// the last day it formatted: a listing formats each kind of time of thousands
// of files, mostly of a few distinct days.
constexpr std::size_t kIsoUtcChars = 20;
class IsoUtcFormatter {
 public:
  bool Put(std::uint64_t fileTime, char* text);

 private:
  std::int64_t days_ = INT64_MIN;
  bool inRange_ = false;
  char date_[10] = {};
};
// "2026-12-8 16:56:00" in local time; empty for 0.
std::u16string FileTimeToLocalText(std::uint64_t fileTime);
// Seconds since 1970 (UTC) of a FILETIME; FILETIMEs before 1970 give negative values.
std::int64_t FileTimeToUnixSeconds(std::uint64_t fileTime);

// "unknown", "good", "partial", "overwritten", "unverified".
const char* RecoveryName(RecoveryChance chance);
// Whether the file list shows a chance for the node: deleted files, and
// files whose chance a reader or the scan could tell.
inline bool ShowsRecoveryChance(const FileNode& node) {
  return !node.IsFolder() && (node.type == kDeletedFile || node.recovery != kRecoveryUnknown);
}
// The chance as the file list shows it ("良好", "部分覆盖", "已覆盖", "未知",
// "未验证"): for deleted files and files whose chance is known; empty for
// folders and for live files, whose data is simply there.
std::u16string RecoveryText(const FileNode& node);

}  // namespace kestrum
