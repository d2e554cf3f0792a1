#include "repair/undo.h"

#include "disk/device.h"
#include "repair/table_writer.h"

namespace kestrum::repair {

bool FindDeviceHistory(const std::string& historyPath, const std::u16string& description,
                       DeviceHistory& out, RepairPrompts& prompts) {
  RepairHistory history;
  const DeviceHistory* found = nullptr;
  if (LoadHistory(historyPath, history)) found = FindDevice(history, description);
  if (found == nullptr || found->records.empty()) {
    prompts.Inform(kNoHistoryFound);
    return false;
  }
  out = *found;
  return true;
}

bool UndoRebuild(const VolumeDescriptor& device, DeviceHistory& history, std::size_t record,
                 RepairPrompts& prompts, UndoReport& report) {
  report = UndoReport{};
  if (record >= history.records.size()) return false;
  DeviceHandle disk;
  if (!OpenDeviceForRepair(device.diskPath, disk)) {
    prompts.Inform(u"打开设备出错！");
    return false;
  }
  for (std::size_t k = history.records.size(); k-- > record;) {
    std::size_t failedBefore = report.failed.size();
    WriteAndVerify(disk, history.records[k].sectors, report.written, report.failed);
    for (std::size_t i = failedBefore; i < report.failed.size(); ++i) prompts.Inform(u"写磁盘出错！");
    history.records.erase(history.records.begin() + static_cast<std::ptrdiff_t>(k));
  }
  CloseDevice(disk);
  return true;
}

bool SaveUndoneHistory(const std::string& historyPath, const DeviceHistory& remaining) {
  RepairHistory history;
  if (!LoadHistory(historyPath, history)) return false;
  PruneHistory(history, remaining);
  return SaveHistory(historyPath, history);
}

}  // namespace kestrum::repair
