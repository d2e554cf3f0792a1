#pragma once
// The repair history: for each disk (by its description) the rebuilds made
// on it, oldest first, each with the places it overwrote as they were
// before. Parsed and written as bytes here; the file itself is opened,
// locked and replaced as a whole by the functions below.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "disk/sector.h"

namespace kestrum::repair {

// One place a rebuild overwrites: whole device sectors from `sector` on
// (512 bytes, a 4096-byte sector, or several, as a GPT entry array), as
// they were.
struct SavedSector {
  Sector64 sector = 0;  // in 512-byte units
  std::vector<std::uint8_t> data = std::vector<std::uint8_t>(kSectorSize);  // whole 512-byte units
};

struct RebuildRecord {
  std::u16string time;  // "%04u-%02u-%02u %02u:%02u:%02u", local time
  std::vector<SavedSector> sectors;  // in the order they are written
};

struct DeviceHistory {
  std::u16string description;
  std::vector<RebuildRecord> records;
};

struct RepairHistory {
  std::vector<DeviceHistory> devices;
};

// Pure: false for a foreign magic, counts or lengths that run past the end,
// texts of odd length or over 255 characters, or pieces that are not whole
// 512-byte units. Files of the form written before ("VRN1") are read too.
bool ParseHistory(ByteView bytes, RepairHistory& out);
// False when a text is longer than the format holds (the entry could not be
// found again).
bool SerializeHistory(const RepairHistory& history, std::vector<std::uint8_t>& out);

// $XDG_STATE_HOME/kestrum/FixPartTable.dat, or ~/.local/state/kestrum/ when unset.
std::string DefaultHistoryPath();

// A history taken for a load-modify-save: the file "PATH.lock" beside it is
// open and locked against other writers while this lives. The history file
// itself is never held open, so that a new one can take its place (Windows
// refuses to rename over an open file).
class HistoryFile {
 public:
  HistoryFile() = default;
  ~HistoryFile();
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;

  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

 private:
  friend bool OpenHistoryFile(const std::string& path, HistoryFile& file);
  std::string path_;
  int fd_ = -1;
};

// Takes the lock (creating the folder and the files as needed, never
// truncating); an empty or missing history gets the magic and no devices.
// False when the lock cannot be had, or the file cannot be read or does not
// begin with either form's magic: such a file is never written. A file of
// the old form is written in the new one.
bool OpenHistoryFile(const std::string& path, HistoryFile& file);
bool LoadHistory(const HistoryFile& file, RepairHistory& out);
// Writes the whole history to a new file beside the old one, flushes it and
// puts it in the old one's place, so the file on disk is always complete.
bool SaveHistory(const HistoryFile& file, const RepairHistory& history);
// The same, each under a lock of its own.
bool LoadHistory(const std::string& path, RepairHistory& out);
bool SaveHistory(const std::string& path, const RepairHistory& history);

// The first device entry with exactly this description, or null.
const DeviceHistory* FindDevice(const RepairHistory& history, const std::u16string& description);

// Appends `record` to the device's entry, or a new entry at the end.
void AddRebuildRecord(RepairHistory& history, const std::u16string& description,
                      const RebuildRecord& record);
// The same in the file at `path` (created when missing): loaded, appended
// to and saved whole under one lock. False when the file cannot be read or
// written.
bool AddRebuildRecord(const std::string& path, const std::u16string& description, const RebuildRecord& record);

// The device's records as `remaining` now holds them: replaced, or the
// device's entry removed when none remain.
void PruneHistory(RepairHistory& history, const DeviceHistory& remaining);

}  // namespace kestrum::repair
