#pragma once
// The rebuild of a disk's partition table from the ticked candidates, in
// the order the repair page runs it: questions, table places, entries, the
// old sectors captured and saved in the history, the writes.

#include <string>
#include <vector>

#include "disk/volume_descriptor.h"
#include "repair/found_partition.h"
#include "repair/repair_history.h"
#include "repair/repair_prompts.h"
#include "repair/table_entries.h"
#include "repair/table_writer.h"

namespace kestrum::repair {

// The local time as the history keeps it: "2026-12-09 04:10:00".
std::u16string HistoryTimeNow();

// Reads every table sector the entries name from the disk, read-only. False
// without a message when the disk cannot be opened; with "Disk read error!"
// when a sector cannot be read.
bool CaptureRebuild(RebuildRecord& out, const VolumeDescriptor& device,
                    const std::vector<TableEntry>& entries, RepairPrompts& prompts);

// Adds the captured record to the history file under the disk's
// description. False (and the file as it was) when there are no entries or
// the file cannot be loaded or saved.
bool RecordRebuild(const std::vector<TableEntry>& entries, const VolumeDescriptor& device,
                   const RebuildRecord& captured, const std::string& historyPath);

struct RebuildRequest {
  VolumeDescriptor device;               // the scanned disk
  FoundPartitionList allFound;           // every record of the scan
  std::vector<FoundPartition> selection;  // ticked candidates, ascending start
  std::string historyPath;
  // The command line asks once more before writing (the GUI's button press
  // is that confirmation); `dryRun` stops before the history is touched.
  bool confirmWrite = false;
  bool dryRun = false;
};

enum class RebuildOutcome {
  kCancelled,    // declined or refused: nothing written
  kDryRun,       // every question asked, nothing written
  kWritten,      // every table written and read back
  kWriteFailed,  // some or all tables did not reach the disk
};

// The one message a rebuild ends with: the partitions can be used now (the
// kernel read the new table), or the restart message; when a table did not
// reach the disk, that the rebuild is not complete (never "完成").
std::u16string RebuildEndMessage(bool allWritten, bool historySaved, RereadResult reread);

struct RebuildReport {
  std::vector<FoundPartition> placed;  // the selection after the questions and PlaceTables
  std::vector<TableEntry> entries;
  bool historySaved = false;
  WriteReport write;
  RereadResult reread = RereadResult::kNotBlockDevice;
};

RebuildOutcome RebuildPartitionTable(const RebuildRequest& request, RepairPrompts& prompts,
                                     RebuildReport& report);

}  // namespace kestrum::repair
