#include "repair/repair_history.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/text.h"
#include "platform/files.h"
#include "platform/state_folder.h"

#include "repair/history_layout.h"
#include "repair/record_bytes.h"

namespace kestrum::repair {

namespace {

using namespace history_file;

bool HasNewMagic(ByteView bytes) { return HasTag(bytes, 0, kMagic); }
bool HasMagic(ByteView bytes) { return HasNewMagic(bytes) || HasTag(bytes, 0, kOldMagic); }

// A piece of the old form: a 32-bit sector number and one 512-byte sector.
void ReadOldPiece(RecordReader& in, SavedSector& s) {
  s.sector = in.U32();
  s.data.resize(kSectorSize);
  in.Bytes(s.data);
}

void ReadPiece(RecordReader& in, SavedSector& s) {
  s.sector = in.U64();
  const std::uint32_t bytes = in.U32();
  // Checked before anything is allocated for it.
  if (bytes == 0 || bytes % kSectorSize != 0 || bytes > kMaxPieceBytes || !in.Fits(bytes)) {
    in.Fail();
    return;
  }
  s.data.resize(bytes);
  in.Bytes(s.data);
}

}  // namespace

bool ParseHistory(ByteView bytes, RepairHistory& out) {
  out = RepairHistory{};
  if (!HasMagic(bytes)) return false;
  const bool newForm = HasNewMagic(bytes);
  RecordReader in(bytes, kMagicSize);
  constexpr std::size_t kMinDevice = 2 * kFieldSize, kMinRecord = 2 * kFieldSize;
  const std::size_t minPiece = newForm ? kSectorFieldSize + kFieldSize + kSectorSize : kFieldSize + kSectorSize;
  std::uint32_t devices = in.Count(kMinDevice);
  for (std::uint32_t d = 0; d < devices && in.ok(); ++d) {
    DeviceHistory device;
    in.Text(device.description, kMaxTextBytes);
    std::uint32_t records = in.Count(kMinRecord);
    for (std::uint32_t r = 0; r < records && in.ok(); ++r) {
      RebuildRecord record;
      in.Text(record.time, kMaxTextBytes);
      std::uint32_t pieces = in.Count(minPiece);
      record.sectors.resize(in.ok() ? pieces : 0);
      for (SavedSector& s : record.sectors) {
        if (newForm) {
          ReadPiece(in, s);
        } else {
          ReadOldPiece(in, s);
        }
      }
      device.records.push_back(std::move(record));
    }
    out.devices.push_back(std::move(device));
  }
  if (!in.ok()) out = RepairHistory{};
  return in.ok();
}

bool SerializeHistory(const RepairHistory& history, std::vector<std::uint8_t>& out) {
  out.assign(kMagic, kMagic + kMagicSize);
  PutU32(out, static_cast<std::uint32_t>(history.devices.size()));
  for (const DeviceHistory& device : history.devices) {
    if (!PutText(out, device.description, kMaxTextBytes)) return false;
    PutU32(out, static_cast<std::uint32_t>(device.records.size()));
    for (const RebuildRecord& record : device.records) {
      if (!PutText(out, record.time, kMaxTextBytes)) return false;
      PutU32(out, static_cast<std::uint32_t>(record.sectors.size()));
      for (const SavedSector& s : record.sectors) {
        if (s.data.empty() || s.data.size() % kSectorSize != 0 || s.data.size() > kMaxPieceBytes) return false;
        PutU64(out, s.sector);
        PutU32(out, static_cast<std::uint32_t>(s.data.size()));
        out.insert(out.end(), s.data.begin(), s.data.end());
      }
    }
  }
  return true;
}

std::string DefaultHistoryPath() { return StateFile(kFileName); }

HistoryFile::~HistoryFile() { Close(); }

void HistoryFile::Close() {
  platform::CloseFile(fd_);  // releases the lock
  fd_ = -1;
}

bool OpenHistoryFile(const std::string& path, HistoryFile& file) {
  file.Close();
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(FromUtf8(path)).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  int lock = platform::OpenFile(FromUtf8(path + ".lock"), platform::OpenMode::kOpenOrCreate);
  if (lock < 0) return false;
  if (!platform::LockFileExclusive(lock)) {
    platform::CloseFile(lock);
    return false;
  }
  file.fd_ = lock;
  file.path_ = path;
  int fd = platform::OpenFile(FromUtf8(path), platform::OpenMode::kOpenOrCreate);
  if (fd < 0) {
    file.Close();
    return false;
  }
  bool usable = false;
  if (platform::FileBytes(fd) == 0) {
    std::vector<std::uint8_t> empty;
    SerializeHistory(RepairHistory{}, empty);
    usable = WriteAllBytes(fd, empty.data(), empty.size()) && platform::FlushFile(fd);
  } else {
    std::uint8_t magic[kMagicSize] = {};
    usable = platform::ReadFileAt(fd, magic, kMagicSize, 0) && HasMagic(ByteView(magic, kMagicSize));
  }
  platform::CloseFile(fd);
  if (!usable) file.Close();
  return usable;
}

bool LoadHistory(const HistoryFile& file, RepairHistory& out) {
  out = RepairHistory{};
  std::vector<std::uint8_t> bytes;
  return file.IsOpen() && ReadFileBytes(file.path(), bytes) && ParseHistory(bytes, out);
}

bool SaveHistory(const HistoryFile& file, const RepairHistory& history) {
  std::vector<std::uint8_t> bytes;
  return file.IsOpen() && SerializeHistory(history, bytes) && ReplaceFileBytes(file.path(), bytes);
}

bool LoadHistory(const std::string& path, RepairHistory& out) {
  HistoryFile file;
  out = RepairHistory{};
  return OpenHistoryFile(path, file) && LoadHistory(file, out);
}

bool SaveHistory(const std::string& path, const RepairHistory& history) {
  HistoryFile file;
  return OpenHistoryFile(path, file) && SaveHistory(file, history);
}

const DeviceHistory* FindDevice(const RepairHistory& history, const std::u16string& description) {
  for (const DeviceHistory& device : history.devices) {
    if (device.description == description) return &device;
  }
  return nullptr;
}

void AddRebuildRecord(RepairHistory& history, const std::u16string& description,
                      const RebuildRecord& record) {
  for (DeviceHistory& device : history.devices) {
    if (device.description == description) {
      device.records.push_back(record);
      return;
    }
  }
  history.devices.push_back({description, {record}});
}

bool AddRebuildRecord(const std::string& path, const std::u16string& description, const RebuildRecord& record) {
  HistoryFile file;
  RepairHistory history;
  if (!OpenHistoryFile(path, file) || !LoadHistory(file, history)) return false;
  AddRebuildRecord(history, description, record);
  return SaveHistory(file, history);
}

void PruneHistory(RepairHistory& history, const DeviceHistory& remaining) {
  auto& devices = history.devices;
  for (auto it = devices.begin(); it != devices.end();) {
    if (it->description != remaining.description) {
      ++it;
    } else if (!remaining.records.empty()) {
      it->records = remaining.records;
      ++it;
    } else {
      it = devices.erase(it);
    }
  }
}

}  // namespace kestrum::repair
