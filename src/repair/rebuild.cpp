#include "repair/rebuild.h"

#include <algorithm>
#include <ctime>

#include "base/catalog.h"
#include "base/text.h"
#include "disk/device.h"
#include "disk/sector_size.h"
#include "repair/gpt_rebuild.h"
#include "repair/selection_checks.h"
#include "platform/local_time.h"

namespace kestrum::repair {

namespace {

constexpr char16_t kDone[] = u"重建分区表完成，请重启电脑查看分区是否已经找回。";
constexpr char16_t kDoneReread[] = u"重建分区表完成，系统已重新读取分区表，找回的分区无需重启即可使用。";
constexpr char16_t kNoHistory[] =
    u"无法保存分区表的修复历史记录，重建后将不能撤销。确定执行分区重建操作吗？";

std::u16string WriteQuestion(const VolumeDescriptor& device, TableKind kind, std::size_t sectors) {
  if (kind == TableKind::kGpt) {
    return TrFormat("即将在%s上写入新的 GPT 分区表，改写磁盘开头和末尾的%zu个扇区，确定执行分区重建操作吗？",
                      ToUtf8(device.diskDescription).c_str(), sectors);
  }
  return TrFormat("即将改写%s的%zu个分区表扇区，确定执行分区重建操作吗？", ToUtf8(device.diskDescription).c_str(),
                    sectors);
}

// The new GPT's protective MBR over the boot code and disk signature that
// LBA 0 holds now: the first piece, in `captured` and `after` alike.
void KeepBootCode(const RebuildRecord& captured, const DiskTableFacts& facts, std::vector<SavedSector>& after) {
  if (captured.sectors.empty() || after.empty() || after[0].sector != 0) return;
  const std::vector<std::uint8_t>& now = captured.sectors[0].data;
  const std::vector<std::uint8_t> old(now.begin(), now.begin() + std::min<std::size_t>(now.size(), facts.sectorSize));
  const std::vector<std::uint8_t> mbr = ProtectiveMbr(facts.diskLbas, facts.sectorSize, old);
  std::copy_n(mbr.begin(), std::min(mbr.size(), after[0].data.size()), after[0].data.begin());
}

}  // namespace

std::u16string RebuildEndMessage(bool allWritten, bool historySaved, RereadResult reread) {
  if (!allWritten) {
    return historySaved ? Tr(u"重建分区表没有完成，有扇区没有写入磁盘。原来的分区表保存在修复历史中，可以用“撤销重建操作”恢复。")
                        : Tr(u"重建分区表没有完成，有扇区没有写入磁盘。");
  }
  return Tr(reread == RereadResult::kDone ? kDoneReread : kDone);
}

std::u16string HistoryTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  platform::LocalTime(now, local);
  return FormatText("%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(local.tm_year + 1900),
                    static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                    static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                    static_cast<unsigned>(local.tm_sec));
}

bool CapturePlaces(RebuildRecord& out, const VolumeDescriptor& device, const std::vector<SavedSector>& places,
                   RepairPrompts& prompts) {
  out = RebuildRecord{};
  out.time = HistoryTimeNow();
  DeviceHandle disk = OpenVolumeOnDisk(device);
  if (!disk.IsOpen()) return false;
  for (const SavedSector& place : places) {
    SavedSector saved;
    saved.sector = place.sector;
    saved.data.assign(place.data.size(), 0);
    if (!ReadPiece(disk, place.sector, saved.data)) {
      prompts.Inform(u"Disk read error!");
      // The first sector of the piece that would not read.
      Sector64 bad = place.sector;
      std::vector<std::uint8_t> one(kSectorSize);
      while (bad + 1 < place.sector + place.data.size() / kSectorSize && ReadPiece(disk, bad, one)) ++bad;
      prompts.Inform(UnreadSectorMessage(bad));
      CloseDevice(disk);
      return false;
    }
    out.sectors.push_back(std::move(saved));
  }
  CloseDevice(disk);
  return true;
}

bool CaptureRebuild(RebuildRecord& out, const VolumeDescriptor& device,
                    const std::vector<TableEntry>& entries, RepairPrompts& prompts) {
  std::vector<SavedSector> places;
  const std::size_t bytes = std::size_t{UnitsPerSector(device.sectorSize)} * kSectorSize;  // whole sectors of the disk
  for (Sector64 sector : TableSectors(entries)) places.push_back({sector, std::vector<std::uint8_t>(bytes)});
  return CapturePlaces(out, device, places, prompts);
}

bool RecordRebuild(const VolumeDescriptor& device, const RebuildRecord& captured, const std::string& historyPath) {
  return !captured.sectors.empty() && AddRebuildRecord(historyPath, device.diskDescription, captured);
}

RebuildOutcome CommitRebuild(const CommitRequest& request, const RebuildRecord& captured,
                            const std::vector<SavedSector>& after, RepairPrompts& prompts, bool& historySaved,
                            WriteReport& write, RereadResult& reread) {
  historySaved = false;
  if (!request.question.empty() && !prompts.AskYesNo(request.question)) return RebuildOutcome::kCancelled;
  if (request.dryRun) return RebuildOutcome::kDryRun;
  historySaved = RecordRebuild(request.device, captured, request.historyPath);
  if (!historySaved && !prompts.AskYesNo(Tr(kNoHistory))) return RebuildOutcome::kCancelled;
  const bool allWritten = WritePieces(request.device, captured, after, prompts, write);
  if (!write.written.empty()) reread = RereadPartitionTable(request.device.diskPath);
  prompts.Inform(request.endMessage ? request.endMessage(allWritten, historySaved, reread)
                                    : RebuildEndMessage(allWritten, historySaved, reread));
  return allWritten ? RebuildOutcome::kWritten : RebuildOutcome::kWriteFailed;
}

RebuildOutcome RebuildPartitionTable(const RebuildRequest& request, RepairPrompts& prompts,
                                     RebuildReport& report) {
  report = RebuildReport{};
  report.placed = request.selection;
  if (report.placed.empty()) {
    prompts.Inform(Tr(u"请至少选择一个分区!"));
    return RebuildOutcome::kCancelled;
  }
  // The table first: an MBR that cannot hold the selection is refused
  // before any question.
  DiskTableFacts facts;
  if (!ReadDiskTableFacts(request.device, facts)) {
    prompts.Inform(Tr(u"打开设备出错！"));
    return RebuildOutcome::kCancelled;
  }
  if (!ChooseTableKind(request.table, request.askTable, report.placed, facts, prompts, report.kind) ||
      !ConfirmSelection(report.placed, prompts)) {
    return RebuildOutcome::kCancelled;
  }
  // The places to write and, for a GPT, their new contents; nothing is
  // written from contents that were not read first: a place that cannot be
  // read stops the rebuild here.
  std::vector<SavedSector> after;
  if (report.kind == TableKind::kMbr) {
    // Entries count the disk's own sectors, and each table is one of them.
    const std::uint32_t units = facts.sectorSize / kSectorSize;
    if (const FoundPartition* unaligned = FirstUnaligned(report.placed, units)) {
      prompts.Inform(TrFormat("您选择的%02u分区不在磁盘扇区（%u字节）的边界上，分区表无法记录它，无法重建分区表！",
                                unaligned->index, facts.sectorSize));
      return RebuildOutcome::kCancelled;
    }
    if (!PlaceTables(request.allFound, report.placed, prompts, units)) return RebuildOutcome::kCancelled;
    report.entries = BuildTableEntries(report.placed, units);
    for (Sector64 sector : TableSectors(report.entries)) {
      after.push_back({sector, std::vector<std::uint8_t>(facts.sectorSize)});
    }
  } else {
    std::vector<GptPiece> pieces;
    if (!BuildGptForSelection(report.placed, facts, pieces, prompts)) return RebuildOutcome::kCancelled;
    after = PiecesAsSaved(pieces, facts.sectorSize);
  }
  RebuildRecord captured;
  if (!CapturePlaces(captured, request.device, after, prompts)) {
    DeviceHandle probe = OpenVolumeOnDisk(request.device);
    if (!probe.IsOpen()) prompts.Inform(Tr(u"打开设备出错！"));
    CloseDevice(probe);
    return RebuildOutcome::kCancelled;
  }
  if (report.kind == TableKind::kGpt) {
    KeepBootCode(captured, facts, after);
  } else {
    after = ComposeTables(report.entries, captured);
  }
  std::size_t sectors = 0;
  for (const SavedSector& piece : captured.sectors) sectors += piece.data.size() / kSectorSize;
  CommitRequest commit{request.device,
                       request.confirmWrite ? WriteQuestion(request.device, report.kind, sectors)
                                            : std::u16string(),
                       nullptr, request.dryRun, request.historyPath};
  return CommitRebuild(commit, captured, after, prompts, report.historySaved, report.write, report.reread);
}

}  // namespace kestrum::repair
