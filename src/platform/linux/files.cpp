#include "platform/files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/text.h"
#include "platform/fault_injection.h"

namespace kestrum::platform {

namespace {

// 100-ns units from 1601 to 1970.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

std::string Native(std::u16string_view path) { return ToUtf8(path); }

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) line.pop_back();
  return line;
}

timespec TimeOf(std::uint64_t fileTime) {
  timespec t{};
  if (fileTime < kUnixEpochAsFileTime) {
    t.tv_nsec = UTIME_OMIT;
    return t;
  }
  const std::uint64_t since1970 = fileTime - kUnixEpochAsFileTime;
  t.tv_sec = static_cast<time_t>(since1970 / 10000000);
  t.tv_nsec = static_cast<long>((since1970 % 10000000) * 100);
  return t;
}

}  // namespace

int OpenFile(std::u16string_view path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kRead: flags |= O_RDONLY; break;
    case OpenMode::kReadUnbuffered: {
      // O_DIRECT only where every 512-byte read the callers make is aligned
      // for the device: a block device of 512-byte logical sectors.
      const int fd = ::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || DeviceSectorBytes(fd) != 512) return fd;
      const int direct = ::open(Native(path).c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
      if (direct < 0) return fd;
      ::close(fd);
      return direct;
    }
    case OpenMode::kReadWrite: flags |= O_RDWR; break;
    case OpenMode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::kCreateNoLink: flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
    case OpenMode::kCreatePrivate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::kOpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::kOpenOrCreateNoLink: flags |= O_RDWR | O_CREAT | O_NOFOLLOW; break;
  }
  const bool ownerOnly = mode == OpenMode::kCreatePrivate || mode == OpenMode::kOpenOrCreate;
  return ::open(Native(path).c_str(), flags, ownerOnly ? 0600 : 0644);
}

bool CloseFile(int fd) { return fd < 0 || ::close(fd) == 0; }

int OpenAnonymousFile() { return ::memfd_create("kestrum-preview", MFD_CLOEXEC); }

std::u16string LastOpenRefusal() { return {}; }

bool IsNoMediumError(int error) { return error == ENOMEDIUM; }

bool ReadAt(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset) {
#ifdef KESTRUM_FAULT_INJECTION
  testing::WaitAtReadGate(fd, offset, bytes);
  testing::NoteRead(offset, bytes);
  if (testing::ReadHitsFault(fd, offset, bytes)) {
    errno = EIO;
    return false;
  }
#endif
  std::uint64_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pread(fd, buffer + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool WriteAt(int fd, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset) {
#ifdef KESTRUM_FAULT_INJECTION
  if (testing::WriteHitsFault(fd, offset, bytes)) {
    errno = EIO;
    return false;
  }
#endif
  std::uint64_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pwrite(fd, data + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void* data, std::size_t bytes, std::uint64_t* written) {
  const auto* p = static_cast<const char*>(data);
  while (bytes > 0) {
    ssize_t n = ::write(fd, p, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    bytes -= static_cast<std::size_t>(n);
    if (written != nullptr) *written += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool ReadFileAt(int fd, std::uint8_t* buffer, std::uint64_t bytes, std::uint64_t offset) {
  std::uint64_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pread(fd, buffer + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool WriteFileAt(int fd, const std::uint8_t* data, std::uint64_t bytes, std::uint64_t offset) {
  std::uint64_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pwrite(fd, data + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool ResizeFile(int fd, std::uint64_t bytes) { return ::ftruncate(fd, static_cast<off_t>(bytes)) == 0; }

bool TruncateFile(int fd) { return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0; }

bool FlushFile(int fd, bool dataOnly) { return (dataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0; }

void DropCachedRange(int fd, std::uint64_t offset, std::uint64_t bytes) {
  ::posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(bytes), POSIX_FADV_DONTNEED);
}

bool LockFileExclusive(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

bool SetFileTimes(int fd, std::uint64_t /*creationTime*/, std::uint64_t lastWriteTime) {
  // Linux keeps no settable creation time; the access time stays as it is.
  if (lastWriteTime < kUnixEpochAsFileTime) return false;
  timespec times[2] = {TimeOf(0), TimeOf(lastWriteTime)};
  return ::futimens(fd, times) == 0;
}

std::uint64_t DeviceBytes(int fd) {
  std::uint64_t bytes = 0;
  if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) return bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    return static_cast<std::uint64_t>(st.st_size);
  }
  off_t end = ::lseek(fd, 0, SEEK_END);
  return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

std::uint32_t DeviceSectorBytes(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) return 0;
  int bytes = 0;
  if (::ioctl(fd, BLKSSZGET, &bytes) != 0 || bytes <= 0) return 0;
  return static_cast<std::uint32_t>(bytes);
}

std::uint64_t FileBytes(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool IsRegularFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

std::u16string FullPath(std::u16string_view path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), ec);
  return ec ? std::u16string(path) : absolute.lexically_normal().u16string();
}

bool ReadsPastCache(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_DIRECT) != 0;
}

bool IsDevicePath(std::u16string_view path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

DataQuery NextDataRange(int fd, std::uint64_t at, std::uint64_t& dataStart, std::uint64_t& dataEnd) {
  off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
  if (data < 0) return errno == ENXIO ? DataQuery::kNoMoreData : DataQuery::kUnknown;
  off_t hole = ::lseek(fd, data, SEEK_HOLE);
  if (hole < 0) return DataQuery::kUnknown;
  dataStart = static_cast<std::uint64_t>(data);
  dataEnd = static_cast<std::uint64_t>(hole);
  return DataQuery::kData;
}

bool DeviceToken(std::u16string_view path, std::string& token) {
  struct stat st {};
  if (::stat(Native(path).c_str(), &st) != 0) return false;
  if (S_ISBLK(st.st_mode)) {
    const std::string number = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    const std::string sys = "/sys/dev/block/" + number;
    for (const char* file : {"/device/serial", "/device/wwid", "/serial", "/wwid"}) {
      std::string serial = FirstLine(sys + file);
      if (!serial.empty()) {
        token = "serial:" + serial;
        return true;
      }
    }
    token = "block:" + number;
    return true;
  }
  token = "file:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  return true;
}

std::string FileIdentity(std::u16string_view path) {
  struct stat st {};
  if (::lstat(Native(path).c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

PathInfo ExaminePath(std::u16string_view path, bool followLinks) {
  PathInfo info;
  struct stat st {};
  const std::string native = Native(path);
  if ((followLinks ? ::stat(native.c_str(), &st) : ::lstat(native.c_str(), &st)) != 0) return info;
  info.kind = S_ISREG(st.st_mode)   ? PathKind::kFile
              : S_ISDIR(st.st_mode) ? PathKind::kFolder
              : S_ISBLK(st.st_mode) ? PathKind::kDevice
                                    : PathKind::kOther;
  info.bytes = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  info.identity = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  return info;
}

bool MakeFolder(std::u16string_view path) { return ::mkdir(Native(path).c_str(), 0777) == 0; }

bool ReplaceFile(std::u16string_view from, std::u16string_view to) {
  return ::rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool RemoveFile(std::u16string_view path) { return ::unlink(Native(path).c_str()) == 0; }

void FlushFolder(std::u16string_view folder) {
  int fd = ::open(folder.empty() ? "." : Native(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

RereadResult RereadPartitionTable(std::u16string_view diskPath) {
  int fd = ::open(Native(diskPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return RereadResult::kFailed;
  struct stat st {};
  RereadResult result = RereadResult::kNotDevice;
  if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) {
    result = ::ioctl(fd, BLKRRPART) == 0 ? RereadResult::kDone : RereadResult::kFailed;
  }
  ::close(fd);
  return result;
}

std::string ErrorText(int error) {
  char buffer[128];
  return strerror_r(error, buffer, sizeof buffer);  // GNU: the text, maybe not in buffer
}

}  // namespace kestrum::platform
