#include "export/export_report.h"

#include <algorithm>
#include <cerrno>

#include "base/json_text.h"
#include "base/catalog.h"
#include "base/text.h"
#include "export/export_names.h"
#include "fs/tree/node_text.h"
#include "platform/files.h"

namespace kestrum {

namespace {

constexpr std::size_t kFlushBytes = 64 * 1024;
constexpr unsigned kMaxNumberedReports = 100;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

std::u16string ErrorText(int error) {
  switch (error) {
    case ENOSPC: return Tr(u"磁盘空间不足");
    case EACCES:
    case EPERM: return Tr(u"权限不足");
    case EROFS: return Tr(u"目标是只读的");
    case ENAMETOOLONG: return Tr(u"名称过长");
    case EIO: return Tr(u"输入输出错误");
    case 0: return Tr(u"原因不明");
    default: return FromUtf8(platform::ErrorText(error));
  }
}

bool WriteAll(int fd, const std::string& text) { return platform::WriteAll(fd, text.data(), text.size()); }

// A text cell, always quoted. Control characters would break lines or show
// as nothing in a spreadsheet: they become U+FFFD (the JSON lines keep them).
// A cell that a spreadsheet would take for a formula starts with "'".
void AppendCsvText(std::string& out, std::u16string_view text) {
  out += '"';
  if (!text.empty() && (text[0] == u'=' || text[0] == u'+' || text[0] == u'-' || text[0] == u'@')) out += '\'';
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = NextCodePoint(text, i);
    if (c < 0x20 || c == 0x7F) c = 0xFFFD;
    if (c == U'"') out += '"';
    AppendUtf8(out, c);
  }
  out += '"';
}

// Opens `name` in `folder` for writing without following a link; where
// something other than a plain file holds it, "name (2)" and so on.
int OpenReportFile(const std::string& folder, const std::string& name, std::string& path) {
  const std::u16string wide = FromUtf8(name);
  for (unsigned n = 1; n <= kMaxNumberedReports; ++n) {
    path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") +
           (n == 1 ? name : ToUtf8(NumberedName(wide, n)));
    const platform::PathKind kind = platform::ExaminePath(FromUtf8(path), false).kind;
    if (kind != platform::PathKind::kMissing && kind != platform::PathKind::kFile) continue;
    return platform::OpenFile(FromUtf8(path), platform::OpenMode::kCreateNoLink);
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

FileExportResult JudgeCopy(bool copied, const OutputFile& out, const FileNode& node) {
  FileExportResult r;
  r.record = out.Record();
  if (copied) {
    r.result = r.record.unreadableSectors > 0 ? ExportResult::kCopiedWithUnreadableSectors : ExportResult::kCopied;
    return r;
  }
  r.result = ExportResult::kFailed;
  if (r.record.readFailed) {
    r.failure = ExportFailure::kUnreadable;
  } else if (r.record.writeError != 0) {
    r.failure = ExportFailure::kWriteFailed;
    r.error = r.record.writeError;
  } else if (r.record.sourceUnopened) {
    r.failure = ExportFailure::kSourceUnopened;
  } else if (out.StopRequested()) {
    r.failure = ExportFailure::kStopped;
  } else if (r.record.bytesWritten > 0 && r.record.bytesWritten < node.size) {
    r.failure = ExportFailure::kIncomplete;
  } else {
    r.failure = ExportFailure::kNoContent;
  }
  return r;
}

const char* ExportResultName(ExportResult result) {
  switch (result) {
    case ExportResult::kCopied: return "copied";
    case ExportResult::kCopiedWithUnreadableSectors: return "copiedWithUnreadableSectors";
    case ExportResult::kFailed: break;
  }
  return "failed";
}

std::u16string ExportResultText(ExportResult result) {
  switch (result) {
    case ExportResult::kCopied: return Tr(u"已复制");
    case ExportResult::kCopiedWithUnreadableSectors: return Tr(u"已复制（有无法读取的扇区）");
    case ExportResult::kFailed: break;
  }
  return Tr(u"失败");
}

const char* ExportFailureName(ExportFailure failure) {
  switch (failure) {
    case ExportFailure::kNone: return "";
    case ExportFailure::kCannotCreate: return "cannot-create";
    case ExportFailure::kFolderFailed: return "folder-failed";
    case ExportFailure::kSourceUnopened: return "source-unopened";
    case ExportFailure::kUnreadable: return "unreadable";
    case ExportFailure::kWriteFailed: return "write-failed";
    case ExportFailure::kStopped: return "stopped";
    case ExportFailure::kIncomplete: return "incomplete";
    case ExportFailure::kNoContent: return "no-content";
    case ExportFailure::kUnsupported: return "unsupported";
  }
  return "";
}

std::u16string ExportFailureText(const FileExportResult& r, std::uint64_t size) {
  const unsigned long long sector = r.record.failedReadSector;
  switch (r.failure) {
    case ExportFailure::kNone:
      if (r.record.unreadableSectors == 0) return u"";
      return TrFormat("%llu 个扇区无法读取，以零填充",
                        static_cast<unsigned long long>(r.record.unreadableSectors));
    case ExportFailure::kCannotCreate: return Tr(u"无法创建文件：") + ErrorText(r.error);
    case ExportFailure::kFolderFailed: return Tr(u"无法创建所在的目录");
    case ExportFailure::kSourceUnopened: return Tr(u"无法打开源磁盘");
    case ExportFailure::kUnreadable:
      return TrFormat("读取扇区 %llu 起的 %u 个扇区失败", sector, r.record.failedReadSectors);
    case ExportFailure::kWriteFailed: return Tr(u"写入失败：") + ErrorText(r.error);
    case ExportFailure::kStopped: return Tr(u"导出被中止");
    case ExportFailure::kIncomplete:
      return TrFormat("文件内容不完整：只复制了 %llu / %llu 字节",
                        static_cast<unsigned long long>(r.record.bytesWritten),
                        static_cast<unsigned long long>(size));
    case ExportFailure::kNoContent: return Tr(u"找不到文件内容在磁盘上的位置");
    case ExportFailure::kUnsupported: return Tr(u"不支持从这种分区复制文件");
  }
  return u"";
}

ExportReport::~ExportReport() { Close(); }

bool ExportReport::Open(const std::string& targetFolder) {
  Close();
  paths_.clear();
  problem_.clear();
  counts_ = ExportCounts{};
  damaged_.clear();
  std::string csvPath, jsonPath;
  csv_ = OpenReportFile(targetFolder, kReportCsvName, csvPath);
  int error = errno;
  if (csv_ >= 0) {
    json_ = OpenReportFile(targetFolder, kReportJsonName, jsonPath);
    error = errno;
  }
  if (!IsOpen()) {
    platform::CloseFile(csv_);
    csv_ = -1;
    problem_ = Tr(u"无法写入恢复报告：") + ErrorText(error);
    return false;
  }
  paths_ = {csvPath, jsonPath};
  csvText_ = kUtf8Bom;
  csvText_ += ToUtf8(Tr(u"\"路径\",\"大小\",\"恢复可能性\",\"结果\",\"原因\",\"保存为\"")) + "\r\n";
  jsonText_.clear();
  return Flush(true);
}

void ExportReport::Add(const std::u16string& path, const FileNode& node, const std::string& savedAs,
                       const FileExportResult& result) {
  switch (result.result) {
    case ExportResult::kCopied: ++counts_.copied; break;
    case ExportResult::kCopiedWithUnreadableSectors:
      ++counts_.withUnreadableSectors;
      damaged_.push_back({path, result.record.unreadableSectors});
      break;
    case ExportResult::kFailed: ++counts_.failed; break;
  }
  if (!IsOpen()) return;
  const std::u16string why = ExportFailureText(result, node.size);
  const std::u16string savedWide = FromUtf8(savedAs);
  // Spreadsheets take CRLF line ends.
  AppendCsvText(csvText_, path);
  csvText_ += ',' + std::to_string(node.size) + ',';
  AppendCsvText(csvText_, RecoveryText(node));
  csvText_ += ',';
  AppendCsvText(csvText_, ExportResultText(result.result));
  csvText_ += ',';
  AppendCsvText(csvText_, why);
  csvText_ += ',';
  AppendCsvText(csvText_, savedWide);
  csvText_ += "\r\n";

  jsonText_ += "{\"path\":\"";
  AppendJsonChars(jsonText_, path);
  jsonText_ += "\",\"size\":" + std::to_string(node.size) + ",\"recovery\":";
  if (ShowsRecoveryChance(node)) {
    jsonText_ += '"';
    jsonText_ += RecoveryName(node.recovery);
    jsonText_ += '"';
  } else {
    jsonText_ += "null";
  }
  jsonText_ += ",\"result\":\"";
  jsonText_ += ExportResultName(result.result);
  jsonText_ += '"';
  if (result.failure != ExportFailure::kNone) {
    jsonText_ += ",\"failure\":\"";
    jsonText_ += ExportFailureName(result.failure);
    jsonText_ += '"';
  }
  if (!why.empty()) {
    jsonText_ += ",\"reason\":\"";
    AppendJsonChars(jsonText_, why);
    jsonText_ += '"';
  }
  if (result.record.readFailed) {
    jsonText_ += ",\"failedSector\":" + std::to_string(result.record.failedReadSector) +
                 ",\"failedSectors\":" + std::to_string(result.record.failedReadSectors);
  }
  if (result.record.unreadableSectors > 0) {
    jsonText_ += ",\"unreadableSectors\":" + std::to_string(result.record.unreadableSectors);
  }
  jsonText_ += ",\"savedAs\":";
  if (savedAs.empty()) {
    jsonText_ += "null";
  } else {
    jsonText_ += '"';
    AppendJsonChars(jsonText_, savedWide);
    jsonText_ += '"';
  }
  jsonText_ += "}\n";
  Flush(false);
}

bool ExportReport::Flush(bool force) {
  if (!IsOpen()) return false;
  if (!force && csvText_.size() < kFlushBytes && jsonText_.size() < kFlushBytes) return true;
  if (!WriteAll(csv_, csvText_) || !WriteAll(json_, jsonText_)) {
    problem_ = Tr(u"无法写入恢复报告：") + ErrorText(errno);
    platform::CloseFile(csv_);
    platform::CloseFile(json_);
    csv_ = json_ = -1;
    return false;
  }
  csvText_.clear();
  jsonText_.clear();
  return true;
}

bool ExportReport::Close() {
  if (!IsOpen()) return problem_.empty();
  bool ok = Flush(true);
  if (ok) {
    ok = platform::CloseFile(csv_);
    ok = platform::CloseFile(json_) && ok;
    csv_ = json_ = -1;
    if (!ok) problem_ = Tr(u"无法写入恢复报告：") + ErrorText(errno);
  }
  return ok;
}

std::u16string ExportSummaryText(const ExportCounts& counts, const std::vector<std::string>& reportPaths,
                                 const std::u16string& reportProblem) {
  std::u16string text = TrFormat("已复制 %u 个文件", counts.copied + counts.withUnreadableSectors);
  if (counts.withUnreadableSectors > 0) {
    text += TrFormat("，其中 %u 个文件含有无法读取的扇区（以零填充）", counts.withUnreadableSectors);
  }
  if (counts.failed > 0) text += TrFormat("，%u 个文件复制失败", counts.failed);
  text += Tr(u"。");
  if (!reportProblem.empty()) {
    text += u"\n" + reportProblem;
  } else if (!reportPaths.empty()) {
    text += Tr(u"\n恢复报告：") + FromUtf8(reportPaths[0]);
  }
  return text;
}

std::u16string DamagedFileLine(const DamagedFile& file) {
  return TrFormat("含有无法读取的扇区（%llu 个，以零填充）：", static_cast<unsigned long long>(file.unreadableSectors)) +
         file.path;
}

std::u16string DamagedFilesText(const std::vector<DamagedFile>& files, std::size_t maxLines) {
  std::u16string text;
  const std::size_t shown = std::min(files.size(), maxLines);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += u'\n';
    text += DamagedFileLine(files[i]);
  }
  if (shown < files.size()) text += TrFormat("\n……另有 %zu 个，见恢复报告", files.size() - shown);
  return text;
}

}  // namespace kestrum
