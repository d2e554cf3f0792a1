#pragma once
// What became of every file an export was asked for, as the copy itself
// found it, and the two report files every export leaves in its target:
// 恢复报告.csv (UTF-8 with a byte-order mark, so spreadsheet programs read
// it) and recovery-report.jsonl (one JSON object a file, for scripts).

#include <cstdint>
#include <string>
#include <vector>

#include "fs/output_file.h"
#include "fs/tree/file_node.h"

namespace kestrum {

enum class ExportResult : std::uint8_t {
  kCopied,
  kCopiedWithUnreadableSectors,  // complete, but sectors that would not read are zeros
  kFailed,
};

enum class ExportFailure : std::uint8_t {
  kNone,
  kCannotCreate,    // the output file could not be made
  kFolderFailed,    // a folder above it could not be made
  kSourceUnopened,  // the disk the content lies on did not open
  kUnreadable,      // a read of the content failed
  kWriteFailed,     // writing the output failed (disk full, …)
  kStopped,         // the user stopped the export during this file
  kIncomplete,      // the file system gave less content than the file's size
  kNoContent,       // nothing tells where the content lies
  kUnsupported,     // no copy routine for this volume's file system
};

// One file's outcome: the result, why it failed, and what the copy met.
struct FileExportResult {
  ExportResult result = ExportResult::kFailed;
  ExportFailure failure = ExportFailure::kNone;
  CopyRecord record;
  int error = 0;  // errno where the failure has one
};

// From the routine's answer and the output's record: a copy that answered
// true is copied (with unreadable sectors when the record counts any); one
// that answered false failed, for the first reason its record shows.
FileExportResult JudgeCopy(bool copied, const OutputFile& out, const FileNode& node);

// "copied", "copiedWithUnreadableSectors", "failed".
const char* ExportResultName(ExportResult result);
// "已复制", "已复制（有无法读取的扇区）", "失败".
std::u16string ExportResultText(ExportResult result);
// "cannot-create", "unreadable", …; "" for kNone.
const char* ExportFailureName(ExportFailure failure);
// Why, in the user's words, with the sector or error where known.
std::u16string ExportFailureText(const FileExportResult& result, std::uint64_t size);

struct ExportCounts {
  std::uint32_t copied = 0;
  std::uint32_t withUnreadableSectors = 0;
  std::uint32_t failed = 0;
};

// A file copied with sectors that would not read (zeros in the copy): the
// export names each one.
struct DamagedFile {
  std::u16string path;  // in the volume, as `ls` prints it
  std::uint64_t unreadableSectors = 0;
};

// "含有无法读取的扇区（8 个，以零填充）：docs/a.bin"
std::u16string DamagedFileLine(const DamagedFile& file);
// A line each, at most `maxLines` of them, and then how many more the
// report names.
std::u16string DamagedFilesText(const std::vector<DamagedFile>& files, std::size_t maxLines);

inline constexpr char kReportCsvName[] = "恢复报告.csv";  // untranslated: one name whatever the language
inline constexpr char kReportJsonName[] = "recovery-report.jsonl";

// Both report files of one export, written a line per file as the export
// goes, so a stopped export still says what it did. They take their names
// in the target's top folder, replacing the reports of an earlier export
// there; an exported file of the same name is the one numbered (the walk
// sees the report files as written by this export). Where something other
// than a plain file holds a report's name, the report takes a numbered name.
class ExportReport {
 public:
  ExportReport() = default;
  ~ExportReport();
  ExportReport(const ExportReport&) = delete;
  ExportReport& operator=(const ExportReport&) = delete;

  // False (and nothing written later) when a report file cannot be made;
  // `Problem` then says why.
  bool Open(const std::string& targetFolder);
  bool IsOpen() const { return csv_ >= 0 && json_ >= 0; }
  // The report files made, absolute.
  const std::vector<std::string>& Paths() const { return paths_; }

  // `path`: the file's path in the volume, as `ls` prints it; `savedAs`: the
  // output path below the target ("" when none was made).
  void Add(const std::u16string& path, const FileNode& node, const std::string& savedAs,
           const FileExportResult& result);
  // Writes what is pending and closes both files.
  bool Close();
  const ExportCounts& Counts() const { return counts_; }
  // The files added as copied with unreadable sectors, in the walk's order.
  const std::vector<DamagedFile>& Damaged() const { return damaged_; }
  const std::u16string& Problem() const { return problem_; }

 private:
  bool Flush(bool force);

  int csv_ = -1;
  int json_ = -1;
  std::string csvText_;
  std::string jsonText_;
  std::vector<std::string> paths_;
  ExportCounts counts_;
  std::vector<DamagedFile> damaged_;
  std::u16string problem_;
};

// The lines the front ends add to "导出文件成功！" / "导出文件失败！": the
// count of each result ("N 个文件含有无法读取的扇区") and where the report is.
std::u16string ExportSummaryText(const ExportCounts& counts, const std::vector<std::string>& reportPaths,
                                 const std::u16string& reportProblem);

}  // namespace kestrum
