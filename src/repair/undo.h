#pragma once
// Undo of recorded rebuilds: the saved sectors of a record and of every
// later one of the same disk are written back, newest first, and those
// records leave the history. What the undo overwrites is kept first, as a
// record of a second history file, so that an undo can be undone in turn.

#include <string>

#include "disk/volume_descriptor.h"
#include "repair/repair_history.h"
#include "repair/repair_prompts.h"

namespace kestrum::repair {

constexpr char16_t kNoHistoryFound[] = u"没有找到您重建分区表的历史记录！";

// The disk's entry in the history file; "没有找到您重建分区表的历史记录！"
// when the file cannot be loaded or holds no entry for the description.
bool FindDeviceHistory(const std::string& historyPath, const std::u16string& description,
                       DeviceHistory& out, RepairPrompts& prompts);

// The history file beside `historyPath` that keeps what undos overwrote;
// `undo --history` of this file puts an undone rebuild back.
std::string UndoBackupPath(const std::string& historyPath);

struct UndoReport {
  std::vector<Sector64> written;
  std::vector<Sector64> failed;
  // Records of the chosen ones that stay in the history because a write
  // failed: the one that failed and every older one chosen with it.
  std::size_t keptRecords = 0;
};

// Writes back records from the newest down to `record` onto the device's
// disk and removes each from `history` once all its sectors were written and
// read back. The sectors about to be written are read and added to
// UndoBackupPath(historyPath) first. False, with nothing written, when the
// disk cannot be opened for writing ("打开设备出错！") or those sectors cannot
// be read or kept. A failed sector write shows "写磁盘出错！"; the rest of
// that record is still written, but it and the older records stay in
// `history` unwritten (report.failed, report.keptRecords).
bool UndoRebuild(const VolumeDescriptor& device, DeviceHistory& history, std::size_t record,
                 const std::string& historyPath, RepairPrompts& prompts, UndoReport& report);

// After the dialog: the file loaded again, the disk's entry pruned to what
// `remaining` holds, and saved.
bool SaveUndoneHistory(const std::string& historyPath, const DeviceHistory& remaining);

}  // namespace kestrum::repair
