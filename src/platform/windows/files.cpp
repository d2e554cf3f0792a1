#include "platform/files.h"

#include "platform/windows/device_locks.h"
#include "platform/windows/device_paths.h"
#include "platform/windows/win32.h"

#include <io.h>
#include <malloc.h>
#include <winioctl.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

// <windows.h> names the wide call ReplaceFile; this is the platform's own.
#undef ReplaceFile

namespace kestrum::platform {

using win32::Fail;
using win32::HandleOf;
using win32::IsDeviceName;
using win32::Wide;

namespace {

// Devices whose sectors are larger than 512 bytes, by descriptor: their
// reads and writes go through an aligned buffer.
std::mutex gSectorLock;
std::map<int, std::uint32_t> gSectorBytes;

std::uint32_t QuerySectorBytes(HANDLE handle) {
  DISK_GEOMETRY_EX geometry{};
  DWORD returned = 0;
  if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry, &returned,
                      nullptr) &&
      geometry.Geometry.BytesPerSector >= 512) {
    return geometry.Geometry.BytesPerSector;
  }
  DISK_GEOMETRY plain{};
  if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &plain, sizeof plain, &returned, nullptr) &&
      plain.BytesPerSector >= 512) {
    return plain.BytesPerSector;
  }
  return 512;
}

// 0 for a file.
std::uint32_t SectorBytesOf(int fd) {
  std::lock_guard<std::mutex> lock(gSectorLock);
  auto it = gSectorBytes.find(fd);
  return it == gSectorBytes.end() ? 0 : it->second;
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Reads or writes whole pieces at an offset (the handle is synchronous: the
// OVERLAPPED only carries the position).
constexpr std::uint64_t kMaxPiece = 1u << 30;

bool ReadRaw(HANDLE handle, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset) {
  while (bytes > 0) {
    const DWORD piece = static_cast<DWORD>(bytes < kMaxPiece ? bytes : kMaxPiece);
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    if (!ReadFile(handle, buffer, piece, &done, &at)) return Fail();
    if (done == 0) {
      errno = EIO;  // past the end
      return false;
    }
    buffer += done;
    bytes -= done;
    offset += done;
  }
  return true;
}

bool WriteRaw(HANDLE handle, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset) {
  while (bytes > 0) {
    const DWORD piece = static_cast<DWORD>(bytes < kMaxPiece ? bytes : kMaxPiece);
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    if (!WriteFile(handle, data, piece, &done, &at) || done == 0) return Fail();
    data += done;
    bytes -= done;
    offset += done;
  }
  return true;
}

struct AlignedFree {
  void operator()(std::uint8_t* p) const { _aligned_free(p); }
};
using AlignedBuffer = std::unique_ptr<std::uint8_t, AlignedFree>;

// The whole device sectors that hold [offset, offset + bytes).
struct AlignedSpan {
  std::uint64_t first = 0;
  std::uint64_t bytes = 0;
  AlignedBuffer buffer;
};

bool Widen(std::uint32_t unit, std::uint64_t offset, std::uint64_t bytes, AlignedSpan& out) {
  out.first = offset / unit * unit;
  const std::uint64_t end = (offset + bytes + unit - 1) / unit * unit;
  out.bytes = end - out.first;
  out.buffer.reset(static_cast<std::uint8_t*>(_aligned_malloc(static_cast<std::size_t>(out.bytes), unit)));
  if (!out.buffer) errno = ENOMEM;
  return out.buffer != nullptr;
}

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

FILETIME FileTimeOf(std::uint64_t value) {
  FILETIME t{};
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

std::string FileKey(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return {};
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         std::to_string((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
}

HANDLE OpenForQuery(std::u16string_view path, DWORD flags) {
  return CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, flags, nullptr);
}

}  // namespace

int OpenFile(std::u16string_view path, OpenMode mode) {
  const bool readOnly = mode == OpenMode::kRead || mode == OpenMode::kReadUnbuffered;
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (!readOnly) access |= GENERIC_WRITE;
  switch (mode) {
    case OpenMode::kCreate:
    case OpenMode::kCreateNoLink:
    case OpenMode::kCreatePrivate: disposition = CREATE_ALWAYS; break;
    case OpenMode::kOpenOrCreate:
    case OpenMode::kOpenOrCreateNoLink: disposition = OPEN_ALWAYS; break;
    default: break;
  }
  const bool noLink = mode == OpenMode::kCreateNoLink || mode == OpenMode::kOpenOrCreateNoLink;
  if (noLink) {
    // A link (reparse point) at the path is refused, as O_NOFOLLOW does.
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      errno = ELOOP;
      return -1;
    }
  }
  // Devices in use stay readable: others may go on reading and writing them.
  HANDLE handle = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                              flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Fail();
    return -1;
  }
  const bool device = IsDeviceName(path);
  std::uint32_t sectorBytes = device ? QuerySectorBytes(handle) : 0;
  errno = 0;
  const int fd = win32::AdoptHandle(handle);
  if (fd < 0) {
    // The runtime's reason (Wine's device handles have no file type: EINVAL).
    if (errno == 0) errno = EMFILE;
    return -1;
  }
  if (device && mode == OpenMode::kReadWrite && !LockVolumesOfDisk(fd, path)) {
    const int error = errno;
    CloseFile(fd);
    errno = error;
    return -1;
  }
  if (sectorBytes != 0) {
    std::lock_guard<std::mutex> lock(gSectorLock);
    gSectorBytes[fd] = sectorBytes;
  }
  return fd;
}

bool CloseFile(int fd) {
  if (fd < 0) return true;
  {
    std::lock_guard<std::mutex> lock(gSectorLock);
    gSectorBytes.erase(fd);
  }
  ReleaseVolumeLocks(fd);
  return _close(fd) == 0;
}

int OpenAnonymousFile() {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"kst", 0, name) == 0) {
    Fail();
    return -1;
  }
  // Gone when closed; kept in memory as long as the system can.
  HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Fail();
    return -1;
  }
  return win32::AdoptHandle(handle);
}

bool ReadAt(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset) {
  HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  const std::uint32_t unit = SectorBytesOf(fd);
  if (unit == 0 || (offset % unit == 0 && bytes % unit == 0)) return ReadRaw(handle, buffer, bytes, offset);
  AlignedSpan span;
  if (!Widen(unit, offset, bytes, span) || !ReadRaw(handle, span.buffer.get(), span.bytes, span.first)) return false;
  std::memcpy(buffer, span.buffer.get() + (offset - span.first), static_cast<std::size_t>(bytes));
  return true;
}

bool WriteAt(int fd, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset) {
  HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  const std::uint32_t unit = SectorBytesOf(fd);
  if (unit == 0 || (offset % unit == 0 && bytes % unit == 0)) return WriteRaw(handle, data, bytes, offset);
  // Part of a device sector: the rest of it is read and written back as it was.
  AlignedSpan span;
  if (!Widen(unit, offset, bytes, span) || !ReadRaw(handle, span.buffer.get(), span.bytes, span.first)) return false;
  std::memcpy(span.buffer.get() + (offset - span.first), data, static_cast<std::size_t>(bytes));
  return WriteRaw(handle, span.buffer.get(), span.bytes, span.first);
}

bool WriteAll(int fd, const void* data, std::size_t bytes, std::uint64_t* written) {
  HANDLE handle = HandleOf(fd);
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (bytes > 0) {
    const DWORD piece = static_cast<DWORD>(bytes < kMaxPiece ? bytes : kMaxPiece);
    DWORD done = 0;
    if (!WriteFile(handle, p, piece, &done, nullptr)) return Fail();
    if (done == 0) {
      errno = ENOSPC;
      return false;
    }
    p += done;
    bytes -= done;
    if (written != nullptr) *written += done;
  }
  return true;
}

bool ReadFileAt(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset) {
  return ReadRaw(HandleOf(fd), buffer, bytes, offset);
}

bool WriteFileAt(int fd, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset) {
  return WriteRaw(HandleOf(fd), data, bytes, offset);
}

bool ResizeFile(int fd, std::uint64_t bytes) {
  HANDLE handle = HandleOf(fd);
  // Sparse where the file system can: the sectors never read stay holes.
  DWORD returned = 0;
  DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(bytes);
  return SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end) ? true : Fail();
}

bool TruncateFile(int fd) {
  HANDLE handle = HandleOf(fd);
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) return Fail();
  return true;
}

bool FlushFile(int fd, bool /*dataOnly*/) { return FlushFileBuffers(HandleOf(fd)) ? true : Fail(); }

void DropCachedRange(int, std::uint64_t, std::uint64_t) {
  // Raw disk handles are not cached by the system; a file's cache is the
  // file, which the read back checks as it is.
}

bool LockFileExclusive(int fd) {
  // Windows byte-range locks are mandatory: lock one byte far past any
  // content, so that readers of the file are not refused.
  OVERLAPPED at = At(0x7FFFFFFFFFFFFFF0ULL);
  if (!LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return Fail();
  return true;
}

bool SetFileTimes(int fd, std::uint64_t creationTime, std::uint64_t lastWriteTime) {
  if (lastWriteTime < kUnixEpochAsFileTime) return false;
  FILETIME created = FileTimeOf(creationTime);
  FILETIME written = FileTimeOf(lastWriteTime);
  return SetFileTime(HandleOf(fd), creationTime != 0 ? &created : nullptr, nullptr, &written) ? true : Fail();
}

std::uint64_t DeviceBytes(int fd) {
  HANDLE handle = HandleOf(fd);
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr)) {
    return static_cast<std::uint64_t>(length.Length.QuadPart);
  }
  LARGE_INTEGER size{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) && size.QuadPart > 0) {
    return static_cast<std::uint64_t>(size.QuadPart);
  }
  DISK_GEOMETRY_EX geometry{};
  if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry, &returned,
                      nullptr) &&
      geometry.DiskSize.QuadPart > 0) {
    return static_cast<std::uint64_t>(geometry.DiskSize.QuadPart);
  }
  return 0;
}

std::uint32_t DeviceSectorBytes(int fd) { return SectorBytesOf(fd); }

// Disks and volumes opened by their device names are read by the sector,
// never through the file cache.
bool ReadsPastCache(int fd) { return SectorBytesOf(fd) != 0; }

std::uint64_t FileBytes(int fd) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(HandleOf(fd), &size) && size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool IsRegularFile(int fd) {
  BY_HANDLE_FILE_INFORMATION info{};
  return GetFileInformationByHandle(HandleOf(fd), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::u16string FullPath(std::u16string_view path) {
  // Devices stay as named. (std::filesystem::absolute of this runtime drops
  // the "\\.\" and "\\server\share" roots: "\\.\C:" came out as "Z:\C:".)
  if (path.empty() || IsDeviceName(path)) return std::u16string(path);
  const std::wstring given = Wide(path);
  std::wstring full(MAX_PATH, L'\0');
  for (int tries = 0; tries < 4; ++tries) {
    const DWORD n = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) break;
    if (n < full.size()) {
      full.resize(n);
      return win32::Narrow16(full);
    }
    full.resize(n);
  }
  return std::u16string(path);
}

bool IsDevicePath(std::u16string_view path) { return IsDeviceName(path); }

DataQuery NextDataRange(int, std::uint64_t, std::uint64_t&, std::uint64_t&) {
  // Every byte counts as data: a sparse image reads its holes as zeros.
  return DataQuery::kUnknown;
}

bool DeviceToken(std::u16string_view path, std::string& token) {
  if (IsDeviceName(path)) {
    HANDLE handle = OpenForQuery(path, 0);
    if (handle == INVALID_HANDLE_VALUE) return Fail();
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::string answer;
    std::string serial;
    if (win32::Control(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer) &&
        answer.size() >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
      const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
      if (descriptor->SerialNumberOffset != 0 && descriptor->SerialNumberOffset < answer.size()) {
        serial = answer.c_str() + descriptor->SerialNumberOffset;
        while (!serial.empty() && serial.back() == ' ') serial.pop_back();
        while (!serial.empty() && serial.front() == ' ') serial.erase(0, 1);
      }
    }
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    const bool numbered = DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                                          &returned, nullptr);
    CloseHandle(handle);
    if (!serial.empty()) {
      token = "serial:" + serial;
    } else if (numbered) {
      token = "block:" + std::to_string(number.DeviceNumber) + ":" + std::to_string(number.PartitionNumber);
    } else {
      token = "block:" + win32::Utf8(Wide(path));
    }
    return true;
  }
  HANDLE handle = OpenForQuery(path, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return Fail();
  const std::string key = FileKey(handle);
  CloseHandle(handle);
  if (key.empty()) return false;
  token = "file:" + key;
  return true;
}

std::string FileIdentity(std::u16string_view path) {
  HANDLE handle = OpenForQuery(path, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::string key = FileKey(handle);
  CloseHandle(handle);
  return key;
}

PathInfo ExaminePath(std::u16string_view path, bool followLinks) {
  PathInfo info;
  if (IsDeviceName(path)) {
    HANDLE handle = OpenForQuery(path, 0);
    if (handle == INVALID_HANDLE_VALUE) {
      Fail();
      return info;
    }
    CloseHandle(handle);
    info.kind = PathKind::kDevice;
    info.identity = win32::Utf8(Wide(path));
    return info;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
    Fail();
    return info;
  }
  if (!followLinks && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    info.kind = PathKind::kOther;
  } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    info.kind = PathKind::kFolder;
  } else {
    info.kind = PathKind::kFile;
    info.bytes = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }
  HANDLE handle = OpenForQuery(path, FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT));
  if (handle != INVALID_HANDLE_VALUE) {
    info.identity = FileKey(handle);
    CloseHandle(handle);
  }
  return info;
}

bool MakeFolder(std::u16string_view path) { return CreateDirectoryW(Wide(path).c_str(), nullptr) ? true : Fail(); }

bool ReplaceFile(std::u16string_view from, std::u16string_view to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? true
             : Fail();
}

bool RemoveFile(std::u16string_view path) { return DeleteFileW(Wide(path).c_str()) ? true : Fail(); }

void FlushFolder(std::u16string_view) {
  // MOVEFILE_WRITE_THROUGH has already made the rename durable.
}

RereadResult RereadPartitionTable(std::u16string_view diskPath) {
  if (!IsDeviceName(diskPath)) return RereadResult::kNotDevice;
  HANDLE handle = CreateFileW(Wide(diskPath).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return RereadResult::kFailed;
  DWORD returned = 0;
  const bool done = DeviceIoControl(handle, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned, nullptr);
  CloseHandle(handle);
  return done ? RereadResult::kDone : RereadResult::kFailed;
}

std::string ErrorText(int error) {
  char buffer[128] = {};
  strerror_s(buffer, sizeof buffer, error);
  return buffer;
}

}  // namespace kestrum::platform
