#pragma once
// The rebuild of a disk's partition table from the ticked candidates, in
// the order the repair page runs it: questions, the kind of table, its
// places and contents (MBR and EBRs, or a GPT at both ends of the disk), the
// old sectors captured and saved in the history, the writes.

#include <functional>
#include <string>
#include <vector>

#include "disk/volume_descriptor.h"
#include "repair/found_partition.h"
#include "repair/repair_history.h"
#include "repair/repair_prompts.h"
#include "repair/table_entries.h"
#include "repair/table_kind.h"
#include "repair/table_writer.h"

namespace kestrum::repair {

// The local time as the history keeps it: "2026-12-09 04:10:00".
std::u16string HistoryTimeNow();

// Reads each place (its sector and size; the contents are not looked at)
// from the disk, read-only, as a record of what they hold now. False
// without a message when the disk cannot be opened; with "Disk read error!"
// and the sector when one cannot be read.
bool CapturePlaces(RebuildRecord& out, const VolumeDescriptor& device, const std::vector<SavedSector>& places,
                   RepairPrompts& prompts);
// Captures every table sector the entries name.
bool CaptureRebuild(RebuildRecord& out, const VolumeDescriptor& device,
                    const std::vector<TableEntry>& entries, RepairPrompts& prompts);

// Adds the captured record to the history file under the disk's
// description. False (and the file as it was) when it holds no sector or
// the file cannot be loaded or saved.
bool RecordRebuild(const VolumeDescriptor& device, const RebuildRecord& captured, const std::string& historyPath);

struct RebuildRequest {
  VolumeDescriptor device;               // the scanned disk
  FoundPartitionList allFound;           // every record of the scan
  std::vector<FoundPartition> selection;  // ticked candidates, ascending start
  std::string historyPath;
  TableChoice table = TableChoice::kAuto;  // what the user asked for
  bool askTable = false;                   // the page asks when both tables would do
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
  TableKind kind = TableKind::kMbr;
  std::vector<TableEntry> entries;     // of an MBR rebuild
  bool historySaved = false;
  WriteReport write;
  RereadResult reread = RereadResult::kNotBlockDevice;
};

RebuildOutcome RebuildPartitionTable(const RebuildRequest& request, RepairPrompts& prompts,
                                     RebuildReport& report);

// The end of every table write, once the places are captured: the last
// question (none when empty), the history, the writes read back, the
// kernel told, one message. `after` holds the new contents of the places
// `captured` kept.
struct CommitRequest {
  VolumeDescriptor device;
  std::u16string question;
  // The message after the writes; RebuildEndMessage when empty.
  std::function<std::u16string(bool allWritten, bool historySaved, RereadResult reread)> endMessage;
  bool dryRun = false;
  std::string historyPath;
};
RebuildOutcome CommitRebuild(const CommitRequest& request, const RebuildRecord& captured,
                            const std::vector<SavedSector>& after, RepairPrompts& prompts, bool& historySaved,
                            WriteReport& write, RereadResult& reread);

}  // namespace kestrum::repair
