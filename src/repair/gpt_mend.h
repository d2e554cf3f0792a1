#pragma once
// Mending a damaged primary GPT from a whole backup, before any deep scan:
// the primary header and entry array (and a protective MBR where sector 0
// has none) are written again from the backup, with the history kept as
// for a rebuild, so that undo puts the damaged primary back.

#include <string>

#include "disk/gpt.h"
#include "repair/rebuild.h"

namespace kestrum::repair {

struct MendRequest {
  VolumeDescriptor device;  // the whole disk
  std::string historyPath;
  bool confirmWrite = false;  // ask once more before writing (the command line)
  bool dryRun = false;
};

struct MendReport {
  GptRead read = GptRead::kAbsent;
  GptFault primaryFault = GptFault::kNone;
  std::uint64_t backupLba = 0;
  bool historySaved = false;
  WriteReport write;
  RereadResult reread = RereadResult::kNotBlockDevice;
};

enum class MendOutcome {
  kNotNeeded,  // the primary is whole
  kNoBackup,   // no whole backup to mend it from: nothing written
  kCancelled,
  kDryRun,
  kWritten,
  kWriteFailed,
};

MendOutcome MendPrimaryGpt(const MendRequest& request, RepairPrompts& prompts, MendReport& report);

}  // namespace kestrum::repair
