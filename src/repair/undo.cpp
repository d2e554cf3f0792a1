#include "repair/undo.h"

#include <set>

#include "base/catalog.h"
#include "base/text.h"
#include "disk/device.h"
#include "repair/rebuild.h"
#include "repair/table_writer.h"

namespace kestrum::repair {

namespace {

// The present contents of every sector the undo of records `record` and
// later will write, each once.
bool CaptureBeforeUndo(const DeviceHandle& disk, const DeviceHistory& history, std::size_t record,
                       RebuildRecord& out, RepairPrompts& prompts) {
  out = RebuildRecord{};
  out.time = HistoryTimeNow();
  std::set<Sector64> taken;
  for (std::size_t k = history.records.size(); k-- > record;) {
    for (const SavedSector& saved : history.records[k].sectors) {
      if (!taken.insert(saved.sector).second) continue;
      SavedSector now;
      now.sector = saved.sector;
      now.data.resize(saved.data.size());
      if (!ReadPiece(disk, saved.sector, now.data)) {
        prompts.Inform(UnreadSectorMessage(saved.sector));
        return false;
      }
      out.sectors.push_back(now);
    }
  }
  return true;
}

}  // namespace

std::string UndoBackupPath(const std::string& historyPath) {
  constexpr std::string_view kExtension = ".dat";
  if (historyPath.size() > kExtension.size() && historyPath.ends_with(kExtension)) {
    return historyPath.substr(0, historyPath.size() - kExtension.size()) + "-undone.dat";
  }
  return historyPath + "-undone";
}

bool FindDeviceHistory(const std::string& historyPath, const std::u16string& description,
                       DeviceHistory& out, RepairPrompts& prompts) {
  RepairHistory history;
  const DeviceHistory* found = nullptr;
  if (LoadHistory(historyPath, history)) found = FindDevice(history, description);
  if (found == nullptr || found->records.empty()) {
    prompts.Inform(Tr(kNoHistoryFound));
    return false;
  }
  out = *found;
  return true;
}

bool UndoRebuild(const VolumeDescriptor& device, DeviceHistory& history, std::size_t record,
                 const std::string& historyPath, RepairPrompts& prompts, UndoReport& report) {
  report = UndoReport{};
  if (record >= history.records.size()) return false;
  DeviceHandle disk;
  if (!OpenDeviceForRepair(device.diskPath, disk)) {
    prompts.Inform(Tr(u"打开设备出错！"));
    return false;
  }
  // A damaged or foreign history must not send writes past the disk's end
  // (on an image file they would make it longer).
  if (disk.sectorLimit != 0) {
    for (std::size_t k = record; k < history.records.size(); ++k) {
      for (const SavedSector& saved : history.records[k].sectors) {
        const Sector64 units = saved.data.size() / kSectorSize;
        if (saved.sector > disk.sectorLimit || units > disk.sectorLimit - saved.sector) {
          prompts.Inform(TrFormat("修复历史中的扇区%llu超出了磁盘的范围（共%llu个扇区），没有写入任何扇区。",
                                    static_cast<unsigned long long>(saved.sector),
                                    static_cast<unsigned long long>(disk.sectorLimit)));
          CloseDevice(disk);
          return false;
        }
      }
    }
  }
  // Nothing is overwritten that is not kept first.
  RebuildRecord before;
  if (!CaptureBeforeUndo(disk, history, record, before, prompts)) {
    CloseDevice(disk);
    return false;
  }
  const std::string backupPath = UndoBackupPath(historyPath);
  if (!AddRebuildRecord(backupPath, history.description, before)) {
    prompts.Inform(Tr(u"无法保存撤销前的扇区（") + FromUtf8(backupPath) + Tr(u"），磁盘没有任何改动。"));
    CloseDevice(disk);
    return false;
  }
  // Newest first; a record leaves the history only when every one of its
  // sectors was written and read back. After a record that failed, the older
  // ones are not written: they assume the newer ones were undone, and all of
  // them stay in the history, so the original tables are never lost.
  for (std::size_t k = history.records.size(); k-- > record;) {
    std::size_t failedBefore = report.failed.size();
    WriteAndVerify(disk, history.records[k].sectors, report.written, report.failed);
    if (report.failed.size() > failedBefore) {
      for (std::size_t i = failedBefore; i < report.failed.size(); ++i) prompts.Inform(Tr(u"写磁盘出错！"));
      report.keptRecords = k + 1 - record;
      break;
    }
    history.records.erase(history.records.begin() + static_cast<std::ptrdiff_t>(k));
  }
  CloseDevice(disk);
  return true;
}

bool SaveUndoneHistory(const std::string& historyPath, const DeviceHistory& remaining) {
  HistoryFile file;
  RepairHistory history;
  if (!OpenHistoryFile(historyPath, file) || !LoadHistory(file, history)) return false;
  PruneHistory(history, remaining);
  return SaveHistory(file, history);
}

}  // namespace kestrum::repair
