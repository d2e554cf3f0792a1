// `scan --lost-partitions`, `repair`, `history` and `undo`: the lost-partition
// function of the repair page, for scripts. Only `repair` and `undo` write,
// and only after the user (or --yes) has answered every question.

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "base/text.h"
#include "base/catalog.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/repair_prompts_cli.h"
#include "cli/table.h"
#include "cli/terminal_presenter.h"
#include "discovery/discovery.h"
#include "platform/files.h"
#include "platform/storage.h"
#include "repair/candidates.h"
#include "repair/found_partition_file.h"
#include "repair/gpt_mend.h"
#include "repair/rebuild.h"
#include "repair/repair_history.h"
#include "repair/scan_finish_hooks.h"
#include "repair/undo.h"
#include "scan/scan_pipeline.h"

namespace kestrum::cli {

namespace {

using namespace repair;

std::string HistoryPath(const Arguments& args) {
  auto it = args.values.find("--history");
  return it != args.values.end() ? it->second : DefaultHistoryPath();
}

// DISK: a whole disk or a disk image, as the device page lists it.
bool ResolveWholeDisk(const Arguments& args, const std::string& operand, VolumeDescriptor& out) {
  // A partition device would open like an image, and a table written at its
  // start would go over its own boot sector.
  const std::u16string whole = platform::DiskOfPartition(platform::FullPath(FromUtf8(operand)));
  if (!whole.empty()) {
    Tell(Tr(u"请给出整个磁盘，而不是其中的分区：") + whole);
    return false;
  }
  DiskSelection selection = NamedDisks(args, {FromUtf8(operand)});
  DiskList disks;
  DiscoveryProblems problems;
  UnopenedDevices unopened;
  bool listed = EnumerateDisks(selection, disks, &problems, &unopened);
  for (const std::u16string& problem : problems) Tell(problem);
  TellUnopened(unopened);
  if (!listed) return false;
  const DiskInfo& disk = disks.front();
  if (!disk.isImage && platform::FullPath(FromUtf8(operand)) != disk.path) {
    Tell(Tr(u"请给出整个磁盘，而不是其中的分区：") + disk.path);
    return false;
  }
  out = WholeDiskArea(disk);
  return true;
}

bool OneDiskOperand(const Arguments& args, const char* verb, VolumeDescriptor& disk, int& status) {
  if (args.operands.size() != 1) {
    status = UsageError(TrFormat("%s 只接受一个 DISK", verb));
    return false;
  }
  if (!ResolveWholeDisk(args, args.operands[0], disk)) {
    status = kExitFailure;
    return false;
  }
  return true;
}

void PrintCandidates(const std::vector<FoundPartition>& rows, bool json) {
  if (json) {
    for (const FoundPartition& c : rows) {
      JsonLine line;
      line.Add("index", c.index)
          .Add("fileSystem", KindName(c.kind))
          .Add("kind", static_cast<std::int32_t>(c.kind))
          .Add("tableSector", c.tableSector)
          .Add("startSector", c.startSector)
          .Add("endSector", c.endSector)
          .Add("sectorCount", c.sectorCount)
          .Add("dataState", std::uint32_t{c.dataState});
      std::printf("%s\n", line.Text().c_str());
    }
    return;
  }
  std::vector<std::vector<std::u16string>> table;
  const CandidateRow captions = CandidateCaptions();
  table.emplace_back(captions.begin(), captions.end());
  for (const FoundPartition& c : rows) {
    CandidateRow row = FormatCandidateRow(c);
    table.emplace_back(row.begin(), row.end());
  }
  PrintTable(table);
}

// "0,2,3" → candidate rows in ascending order, each once.
bool ParseSelection(const std::string& text, std::size_t rows, std::vector<std::size_t>& out) {
  std::stringstream in(text);
  std::string item;
  std::vector<bool> ticked(rows, false);
  while (std::getline(in, item, ',')) {
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos || item.size() > 9) {
      return false;
    }
    std::size_t row = std::stoul(item);
    if (row >= rows) return false;
    ticked[row] = true;
  }
  out.clear();
  for (std::size_t i = 0; i < rows; ++i) {
    if (ticked[i]) out.push_back(i);
  }
  return true;
}

std::u16string SectorList(const std::vector<Sector64>& sectors) {
  std::u16string text;
  for (Sector64 s : sectors) text += (text.empty() ? u"" : u", ") + DecimalText(s);
  return text;
}

// The places of a record: "0, 2048" for single sectors, "0-33, 204767-204799"
// for the runs a GPT takes.
std::u16string PieceList(const std::vector<SavedSector>& pieces) {
  std::u16string text;
  for (const SavedSector& p : pieces) {
    if (!text.empty()) text += u", ";
    text += DecimalText(p.sector);
    // Appended piece by piece: u"-" + text made GCC 12 warn of an overlapping copy (-Wrestrict).
    if (p.data.size() > kSectorSize) {
      text += u'-';
      text += DecimalText(p.sector + p.data.size() / kSectorSize - 1);
    }
  }
  return text;
}

// The end of a command that wrote: what was written, what failed, where the
// history went.
void TellWritten(const WriteReport& write, bool historySaved, const std::string& historyPath) {
  Tell(Tr(u"已写入的分区表扇区：") + SectorList(write.written));
  if (!write.failed.empty()) Tell(Tr(u"写入失败的分区表扇区：") + SectorList(write.failed));
  Tell(historySaved ? Tr(u"修复历史已保存：") + FromUtf8(historyPath) : Tr(u"修复历史没有保存。"));
}

// `repair DISK --gpt-from-backup`: the primary GPT written again from the backup.
int RunMendGpt(const Arguments& args, const VolumeDescriptor& disk) {
  if (args.values.count("--scan") || args.values.count("--select") || args.values.count("--table")) {
    return UsageError(Tr(u"--gpt-from-backup 不能与 --scan、--select 或 --table 同用"));
  }
  MendRequest request;
  request.device = disk;
  request.historyPath = HistoryPath(args);
  request.confirmWrite = true;
  TerminalPrompts prompts(args.Has("--yes"));
  request.dryRun = !prompts.MayWrite();
  MendReport report;
  switch (MendPrimaryGpt(request, prompts, report)) {
    case MendOutcome::kNotNeeded: return kExitOk;
    case MendOutcome::kDryRun: prompts.TellRefusal(); return kExitFailure;
    case MendOutcome::kNoBackup:
    case MendOutcome::kCancelled: return kExitFailure;
    case MendOutcome::kWritten: TellWritten(report.write, report.historySaved, request.historyPath); return kExitOk;
    case MendOutcome::kWriteFailed: TellWritten(report.write, report.historySaved, request.historyPath); break;
  }
  return kExitFailure;
}

}  // namespace

int RunLostPartitionScan(const Arguments& args) {
  VolumeDescriptor disk;
  int status = kExitOk;
  if (!OneDiskOperand(args, "scan --lost-partitions", disk, status)) return status;
  DeepScanJob job;
  job.request.mode = kScanLostPartitions;
  job.volume = disk;
  job.finish = ScanFinishHookFor(kScanLostPartitions);
  ScanState scanState;
  job.state = &scanState;
  scanState.PrepareScan(job.volume, job.request);
  InstallScanInterruptHandler();
  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  if (!RunDeepScan(job, presenter)) {
    Tell(Tr(u"操作已取消"));
    return kExitFailure;
  }
  const FoundPartitionList& found = TheFoundPartitionList();
  auto state = args.values.find("--state");
  if (state != args.values.end()) {
    FoundPartitionFile file{disk.sectorCount, disk.diskPath, disk.diskDescription, found};
    if (!SaveFoundPartitions(state->second, file)) {
      Tell(Tr(u"无法保存扫描结果：") + FromUtf8(state->second));
      return kExitFailure;
    }
  }
  PrintCandidates(MakeCandidates(found), args.Has("--json"));
  return kExitOk;
}

int RunRepair(const Arguments& args) {
  VolumeDescriptor disk;
  int status = kExitOk;
  if (!OneDiskOperand(args, "repair", disk, status)) return status;
  if (args.Has("--gpt-from-backup")) return RunMendGpt(args, disk);
  auto scan = args.values.find("--scan");
  auto select = args.values.find("--select");
  if (scan == args.values.end() || select == args.values.end()) {
    return UsageError(Tr(u"repair 需要 --scan FILE 和 --select I,J,...（或 --gpt-from-backup）"));
  }
  TableChoice table = TableChoice::kAuto;
  if (auto kind = args.values.find("--table"); kind != args.values.end()) {
    if (kind->second != "gpt" && kind->second != "mbr") return UsageError(Tr(u"--table 只能是 gpt 或 mbr"));
    table = kind->second == "gpt" ? TableChoice::kGpt : TableChoice::kMbr;
  }
  FoundPartitionFile file;
  std::u16string error;
  if (!LoadFoundPartitions(scan->second, file, error)) {
    Tell(error);
    return kExitFailure;
  }
  if (!BelongsTo(file, disk)) {
    Tell(Tr(u"扫描结果文件属于另一个磁盘：") + file.diskPath);
    return kExitFailure;
  }
  std::vector<FoundPartition> rows = MakeCandidates(file.found);
  std::vector<std::size_t> ticked;
  if (!ParseSelection(select->second, rows.size(), ticked)) {
    return UsageError(TrFormat("--select 需要扫描候选分区的行号，从 0 到 %zu", rows.empty() ? 0 : rows.size() - 1));
  }
  RebuildRequest request;
  request.device = disk;
  request.allFound = file.found;
  for (std::size_t i : ticked) request.selection.push_back(rows[i]);
  request.historyPath = HistoryPath(args);
  request.table = table;
  request.confirmWrite = true;
  TerminalPrompts prompts(args.Has("--yes"));
  request.dryRun = !prompts.MayWrite();
  RebuildReport report;
  RebuildOutcome outcome = RebuildPartitionTable(request, prompts, report);
  switch (outcome) {
    case RebuildOutcome::kDryRun: prompts.TellRefusal(); return kExitFailure;
    case RebuildOutcome::kCancelled: return kExitFailure;
    case RebuildOutcome::kWritten:
    case RebuildOutcome::kWriteFailed: break;
  }
  Tell(report.kind == TableKind::kGpt ? Tr(u"已写入 GPT 分区表。") : Tr(u"已写入 MBR 分区表。"));
  TellWritten(report.write, report.historySaved, request.historyPath);
  return outcome == RebuildOutcome::kWritten ? kExitOk : kExitFailure;
}

int RunHistory(const Arguments& args) {
  if (args.operands.size() > 1) return UsageError(Tr(u"history 最多接受一个 DISK"));
  std::u16string only;
  if (!args.operands.empty()) {
    VolumeDescriptor disk;
    if (!ResolveWholeDisk(args, args.operands[0], disk)) return kExitFailure;
    only = disk.diskDescription;
  }
  RepairHistory history;
  std::string path = HistoryPath(args);
  if (!LoadHistory(path, history)) {
    Tell(Tr(u"无法读取修复历史文件：") + FromUtf8(path));
    return kExitFailure;
  }
  bool json = args.Has("--json");
  std::vector<std::vector<std::u16string>> table = {{Tr(u"设备描述"), Tr(u"记录"), Tr(u"时间"), Tr(u"扇区")}};
  bool any = false;
  for (const DeviceHistory& device : history.devices) {
    if (!only.empty() && device.description != only) continue;
    for (std::size_t k = 0; k < device.records.size(); ++k) {
      any = true;
      if (json) {
        JsonLine line;
        line.Add("description", device.description)
            .Add("record", std::uint64_t{k})
            .Add("time", device.records[k].time)
            .Add("sectors", PieceList(device.records[k].sectors));
        std::printf("%s\n", line.Text().c_str());
      } else {
        table.push_back({device.description, FormatText("%zu", k), device.records[k].time, PieceList(device.records[k].sectors)});
      }
    }
  }
  if (!any) {
    Tell(Tr(kNoHistoryFound));
    return kExitFailure;
  }
  if (!json) PrintTable(table);
  return kExitOk;
}

int RunUndo(const Arguments& args) {
  VolumeDescriptor disk;
  int status = kExitOk;
  if (!OneDiskOperand(args, "undo", disk, status)) return status;
  bool bad = false;
  std::optional<std::uint64_t> record = args.Number("--record", bad);
  if (bad || !record) return UsageError(Tr(u"undo 需要 --record K（编号同 history）"));
  TerminalPrompts prompts(args.Has("--yes"));
  std::string path = HistoryPath(args);
  DeviceHistory history;
  if (!FindDeviceHistory(path, disk.diskDescription, history, prompts)) return kExitFailure;
  if (*record >= history.records.size()) {
    return UsageError(TrFormat("--record：%s 的记录是 0 到 %zu", ToUtf8(disk.diskDescription).c_str(),
                               history.records.size() - 1));
  }
  std::size_t sectors = 0;
  // Whole sectors, not places: a GPT's place at either end runs to 33 and more.
  for (std::size_t k = *record; k < history.records.size(); ++k) {
    for (const SavedSector& place : history.records[k].sectors) sectors += place.data.size() / kSectorSize;
  }
  std::u16string question = TrFormat("撤销%s的第%u条及之后的%zu条重建记录，将改写%zu个扇区，确定吗？",
                                       ToUtf8(disk.diskDescription).c_str(),
                                       static_cast<unsigned>(*record),
                                       history.records.size() - static_cast<std::size_t>(*record), sectors);
  if (!prompts.AskYesNo(question) ) return kExitFailure;
  if (!prompts.MayWrite()) {
    prompts.TellRefusal();
    return kExitFailure;
  }
  UndoReport report;
  if (!UndoRebuild(disk, history, static_cast<std::size_t>(*record), path, prompts, report)) return kExitFailure;
  Tell(Tr(u"已写回的扇区：") + SectorList(report.written));
  Tell(Tr(u"改写前的扇区已保存：") + FromUtf8(UndoBackupPath(path)));
  if (!SaveUndoneHistory(path, history)) {
    Tell(Tr(u"无法更新修复历史文件：") + FromUtf8(path));
    return kExitFailure;
  }
  if (!report.failed.empty()) {
    Tell(Tr(u"写回失败的扇区：") + SectorList(report.failed));
    Tell(TrFormat("撤销没有完成：第%zu条到第%zu条重建记录仍保留在修复历史中。",
                    static_cast<std::size_t>(*record),
                    static_cast<std::size_t>(*record) + report.keptRecords - 1));
    return kExitFailure;
  }
  Tell(disk.diskDescription + Tr(u"：撤销重建操作完成。"));
  return kExitOk;
}

}  // namespace kestrum::cli
