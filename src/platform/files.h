#pragma once
// Files and devices as the operating system opens them. A file is a small
// integer: a POSIX descriptor, or on Windows a C-runtime descriptor over the
// HANDLE, so that the records above keep one plain field whatever the
// system. Failures set errno (Windows errors are mapped to the nearest
// errno value), which is what the callers report.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum::platform {

enum class OpenMode {
  kRead,       // read only; others may read and write (devices in use stay readable)
  kReadUnbuffered,  // read only, past the system's cache where a device of 512-byte sectors allows it
  kReadWrite,  // an existing file or device, for the repair and its undo
  kCreate,     // read and write, created or emptied
  kCreateNoLink,   // the same, refused where a link stands at the path
  kCreatePrivate,  // created or emptied, readable by its owner only
  kOpenOrCreate,   // read and write, kept as it is when it exists; owner only
  kOpenOrCreateNoLink,  // the same for anyone to read, refused at a link
};

// -1 on failure (errno set). Paths are UTF-16; each side converts to its own form.
int OpenFile(std::u16string_view path, OpenMode mode);
// False when the last written data could not be stored.
bool CloseFile(int fd);
// A file of no name that goes when it is closed (an in-memory file where the
// system has one).
int OpenAnonymousFile();
// Why this thread's last OpenFile for writing a disk was refused beyond its
// errno, in the program's words (on Windows: a volume of the disk that would
// not lock); empty when there is nothing to add.
std::u16string LastOpenRefusal();
// The errno value of a device without media (a card reader without a card).
bool IsNoMediumError(int error);

// Exactly `bytes` at `offset`; false on an error or an early end. Raw
// devices whose sectors are larger than the request are read and written
// through an aligned buffer, so callers keep working in 512-byte units.
bool ReadAt(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset);
bool WriteAt(int fd, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset);
// At the file's position (output files are written in order); `written`
// counts what was stored before a failure. A device that takes nothing more
// fails with ENOSPC.
bool WriteAll(int fd, const void* data, std::size_t bytes, std::uint64_t* written = nullptr);
// Exactly `bytes` at `offset` of a file the program writes itself (no
// fault hook; a write that stores nothing fails with ENOSPC).
bool ReadFileAt(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset);
bool WriteFileAt(int fd, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset);
// The file's size set to `bytes`; what it grows by reads as zeros (a hole
// where the file system keeps them).
bool ResizeFile(int fd, std::uint64_t bytes);
// Back to nothing, positioned at 0.
bool TruncateFile(int fd);
// Written data reaches the device (`dataOnly`: its contents, not every
// attribute).
bool FlushFile(int fd, bool dataOnly = false);
// Whether reads of the descriptor reach the device as asked, past the
// system's cache: a bad sector then fails alone, not with its page or the
// window read ahead around it.
bool ReadsPastCache(int fd);
// The next read of the range comes from the device, not a cache.
void DropCachedRange(int fd, std::uint64_t offset, std::uint64_t bytes);
// Takes an exclusive lock without waiting (released when the file closes).
bool LockFileExclusive(int fd);
// FILETIMEs (100 ns since 1601, UTC); 0 leaves that time as it is.
bool SetFileTimes(int fd, std::uint64_t creationTime, std::uint64_t lastWriteTime);

// Size in bytes of a device or file (0 when nothing tells).
std::uint64_t DeviceBytes(int fd);
// What a disk or partition device reports as its logical sector size; 0 for
// a file or a failed query.
std::uint32_t DeviceSectorBytes(int fd);
std::uint64_t FileBytes(int fd);
bool IsRegularFile(int fd);
// A disk or partition device (not a file).
bool IsDevicePath(std::u16string_view path);

// Where a sparse file holds data: the first data byte at or after `at` and
// the end of that data. kUnknown when the file system cannot tell (all is
// data then), kNoMoreData when only holes follow.
enum class DataQuery { kData, kNoMoreData, kUnknown };
DataQuery NextDataRange(int fd, std::uint64_t at, std::uint64_t& dataStart, std::uint64_t& dataEnd);

// What tells one file or device from another: the disk's serial number where
// the system reports one ("serial:…"), else the device's own number
// ("block:…"), or the file's place on its volume ("file:…"). False when the
// path cannot be examined.
bool DeviceToken(std::u16string_view path, std::string& token);
// A file's own identity on its volume, for telling apart names that a
// case-insensitive folder folds together; empty when it cannot be examined.
std::string FileIdentity(std::u16string_view path);

// What stands at a path: nothing, a file, a folder, a disk or partition
// device, or something else (a link when not followed, a pipe, a socket).
enum class PathKind { kMissing, kFile, kFolder, kDevice, kOther };
struct PathInfo {
  PathKind kind = PathKind::kMissing;
  std::uint64_t bytes = 0;  // a file's size
  std::string identity;     // as FileIdentity gives it
};
// kMissing also when the path cannot be examined (errno says why).
PathInfo ExaminePath(std::u16string_view path, bool followLinks);
// A folder made (not an error when one is there already: false with EEXIST).
bool MakeFolder(std::u16string_view path);

// Puts `from` in place of `to` in one step, written through.
bool ReplaceFile(std::u16string_view from, std::u16string_view to);
bool RemoveFile(std::u16string_view path);
// The path made absolute, "." and ".." taken out by its text alone (links are
// not followed): the form a listing shows and compares. Device paths stay as
// they are; a path the system cannot complete comes back unchanged.
std::u16string FullPath(std::u16string_view path);
// The folder part of a path as the system separates it: "." when there is
// none, the root when the path is in the root.
std::u16string FolderOfPath(std::u16string_view path);
// A rename or a new file in the folder survives a power cut.
void FlushFolder(std::u16string_view folder);

// Asks the system to read a disk's partition table again after a repair.
enum class RereadResult { kDone, kFailed, kNotDevice };
RereadResult RereadPartitionTable(std::u16string_view diskPath);

// The system's own words for an errno value, UTF-8.
std::string ErrorText(int error);

}  // namespace kestrum::platform
