#include "repair/rebuild.h"

#include <ctime>

#include "base/text.h"
#include "disk/device.h"
#include "repair/selection_checks.h"

namespace kestrum::repair {

namespace {

constexpr char16_t kDone[] = u"重建分区表完成，请重启电脑查看分区是否已经找回。";
constexpr char16_t kDoneReread[] = u"重建分区表完成，系统已重新读取分区表，找回的分区无需重启即可使用。";
constexpr char16_t kNoHistory[] =
    u"无法保存分区表的修复历史记录，重建后将不能撤销。确定执行分区重建操作吗？";

std::u16string WriteQuestion(const VolumeDescriptor& device, std::size_t tables) {
  return FormatText("即将改写%s的%zu个分区表扇区，确定执行分区重建操作吗？",
                    ToUtf8(device.diskDescription).c_str(), tables);
}

}  // namespace

std::u16string RebuildEndMessage(bool allWritten, bool historySaved, RereadResult reread) {
  if (!allWritten) {
    return historySaved ? u"重建分区表没有完成，有扇区没有写入磁盘。原来的分区表保存在修复历史中，可以用“撤销重建操作”恢复。"
                        : u"重建分区表没有完成，有扇区没有写入磁盘。";
  }
  return reread == RereadResult::kDone ? kDoneReread : kDone;
}

std::u16string HistoryTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FormatText("%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(local.tm_year + 1900),
                    static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                    static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                    static_cast<unsigned>(local.tm_sec));
}

bool CaptureRebuild(RebuildRecord& out, const VolumeDescriptor& device,
                    const std::vector<TableEntry>& entries, RepairPrompts& prompts) {
  out = RebuildRecord{};
  out.time = HistoryTimeNow();
  DeviceHandle disk = OpenVolumeOnDisk(device);
  if (!disk.IsOpen()) return false;
  for (Sector64 sector : TableSectors(entries)) {
    SavedSector saved;
    saved.sector = sector;
    if (!ReadPiece(disk, sector, saved.data)) {
      prompts.Inform(u"Disk read error!");
      prompts.Inform(UnreadSectorMessage(sector));
      CloseDevice(disk);
      return false;
    }
    out.sectors.push_back(saved);
  }
  CloseDevice(disk);
  return true;
}

bool RecordRebuild(const std::vector<TableEntry>& entries, const VolumeDescriptor& device,
                   const RebuildRecord& captured, const std::string& historyPath) {
  return !entries.empty() && AddRebuildRecord(historyPath, device.diskDescription, captured);
}

RebuildOutcome RebuildPartitionTable(const RebuildRequest& request, RepairPrompts& prompts,
                                     RebuildReport& report) {
  report = RebuildReport{};
  report.placed = request.selection;
  if (report.placed.empty()) {
    prompts.Inform(u"请至少选择一个分区!");
    return RebuildOutcome::kCancelled;
  }
  if (const FoundPartition* beyond = FirstBeyondMbr(report.placed)) {
    prompts.Inform(FormatText("您选择的%02u分区超出了MBR分区表能记录的范围（2^32个扇区），无法用MBR分区表重建！",
                              beyond->index));
    return RebuildOutcome::kCancelled;
  }
  if (!ConfirmSelection(report.placed, prompts) || !PlaceTables(request.allFound, report.placed, prompts)) {
    return RebuildOutcome::kCancelled;
  }
  report.entries = BuildTableEntries(report.placed);
  // Nothing is written from contents that were not read first: a table
  // sector that cannot be read stops the rebuild here.
  RebuildRecord captured;
  if (!CaptureRebuild(captured, request.device, report.entries, prompts)) {
    DeviceHandle probe = OpenVolumeOnDisk(request.device);
    if (!probe.IsOpen()) prompts.Inform(u"打开设备出错！");
    CloseDevice(probe);
    return RebuildOutcome::kCancelled;
  }
  if (request.confirmWrite && !prompts.AskYesNo(WriteQuestion(request.device, captured.sectors.size()))) {
    return RebuildOutcome::kCancelled;
  }
  if (request.dryRun) return RebuildOutcome::kDryRun;
  report.historySaved = RecordRebuild(report.entries, request.device, captured, request.historyPath);
  if (!report.historySaved && !prompts.AskYesNo(kNoHistory)) return RebuildOutcome::kCancelled;
  bool allWritten = WriteTables(request.device, report.entries, captured, prompts, report.write);
  if (!report.write.written.empty()) report.reread = RereadPartitionTable(request.device.diskPath);
  prompts.Inform(RebuildEndMessage(allWritten, report.historySaved, report.reread));
  return allWritten ? RebuildOutcome::kWritten : RebuildOutcome::kWriteFailed;
}

}  // namespace kestrum::repair
