#include "repair/gpt_mend.h"

#include "base/catalog.h"
#include "base/text.h"
#include "discovery/table_notes.h"
#include "disk/device.h"
#include "repair/gpt_rebuild.h"
#include "repair/table_kind.h"

namespace kestrum::repair {

MendOutcome MendPrimaryGpt(const MendRequest& request, RepairPrompts& prompts, MendReport& report) {
  report = MendReport{};
  DiskTableFacts facts;
  DeviceHandle disk;
  if (!ReadDiskTableFacts(request.device, facts) || !OpenDevice(request.device.diskPath, disk)) {
    prompts.Inform(Tr(u"打开设备出错！"));
    return MendOutcome::kCancelled;
  }
  GptTable table;
  report.read = ReadGpt(disk, facts.sectorSize, facts.diskLbas, table);
  report.primaryFault = table.primaryFault;
  std::vector<std::uint8_t> sector0;
  ReadLogicalSectors(disk, facts.sectorSize, 0, 1, sector0);
  CloseDevice(disk);
  if (report.read == GptRead::kPrimary) {
    prompts.Inform(request.device.diskDescription + Tr(u"：主 GPT 完好，不需要修复。"));
    return MendOutcome::kNotNeeded;
  }
  if (report.read != GptRead::kBackup) {
    prompts.Inform(request.device.diskDescription + Tr(u"：没有找到完好的备份 GPT，无法修复主 GPT。"));
    return MendOutcome::kNoBackup;
  }
  report.backupLba = table.header.myLba;
  std::vector<GptPiece> pieces;
  if (BuildPrimaryFromBackup(table, facts.sectorSize, facts.diskLbas, sector0, pieces) != GptBuildFault::kNone) {
    prompts.Inform(Tr(u"备份 GPT 的分区项数组放不下在主 GPT 的位置，无法修复主 GPT。"));
    return MendOutcome::kNoBackup;
  }
  const std::vector<SavedSector> after = PiecesAsSaved(pieces, facts.sectorSize);
  RebuildRecord captured;
  if (!CapturePlaces(captured, request.device, after, prompts)) return MendOutcome::kCancelled;
  std::size_t sectors = 0;
  for (const SavedSector& piece : captured.sectors) sectors += piece.data.size() / kSectorSize;
  CommitRequest commit;
  commit.device = request.device;
  if (request.confirmWrite) {
    commit.question = TrFormat("即将用扇区%llu的备份 GPT 重写%s的主 GPT（主 GPT：%s），改写%zu个扇区，确定吗？",
                                 static_cast<unsigned long long>(report.backupLba * (facts.sectorSize / kSectorSize)),
                                 ToUtf8(request.device.diskDescription).c_str(),
                                 ToUtf8(GptFaultText(report.primaryFault)).c_str(), sectors);
  }
  commit.endMessage = [](bool allWritten, bool historySaved, RereadResult reread) -> std::u16string {
    if (!allWritten) {
      return historySaved ? Tr(u"主 GPT 没有修复完成，有扇区没有写入磁盘。原来的扇区保存在修复历史中，可以撤销。")
                          : Tr(u"主 GPT 没有修复完成，有扇区没有写入磁盘。");
    }
    return reread == RereadResult::kDone ? Tr(u"主 GPT 已用备份 GPT 修复，系统已重新读取分区表。")
                                         : Tr(u"主 GPT 已用备份 GPT 修复。");
  };
  commit.dryRun = request.dryRun;
  commit.historyPath = request.historyPath;
  switch (CommitRebuild(commit, captured, after, prompts, report.historySaved, report.write, report.reread)) {
    case RebuildOutcome::kCancelled: return MendOutcome::kCancelled;
    case RebuildOutcome::kDryRun: return MendOutcome::kDryRun;
    case RebuildOutcome::kWritten: return MendOutcome::kWritten;
    case RebuildOutcome::kWriteFailed: return MendOutcome::kWriteFailed;
  }
  return MendOutcome::kCancelled;
}

}  // namespace kestrum::repair
