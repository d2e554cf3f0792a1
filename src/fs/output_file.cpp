#include "fs/output_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fs/dos_time.h"
#include "run/worker_state.h"

namespace kestrum {

bool OutputFile::Create(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  path_ = path;
  inMemory_ = false;
  cancel_ = nullptr;
  record_ = CopyRecord{};
  if (fd_ < 0) record_.writeError = errno;
  return fd_ >= 0;
}

bool OutputFile::CreateInMemory(const std::atomic<bool>* cancel) {
  Close();
  fd_ = ::memfd_create("kestrum-preview", MFD_CLOEXEC);
  path_.clear();
  inMemory_ = true;
  cancel_ = cancel;
  record_ = CopyRecord{};
  if (fd_ < 0) record_.writeError = errno;
  return fd_ >= 0;
}

void OutputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool OutputFile::Write(const void* bytes, std::size_t size) {
  const auto* p = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      record_.writeError = n < 0 ? errno : ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
    record_.bytesWritten += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool OutputFile::Truncate() {
  if (fd_ < 0) return false;
  record_.bytesWritten = 0;
  return ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
}

bool OutputFile::SetTimes(std::uint64_t /*creationTime*/, std::uint64_t lastWriteTime) {
  if (fd_ < 0 || inMemory_ || lastWriteTime < kUnixEpochAsFileTime) return false;
  std::uint64_t since1970 = lastWriteTime - kUnixEpochAsFileTime;  // 100-ns units
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(since1970 / 10000000);
  times[1].tv_nsec = static_cast<long>((since1970 % 10000000) * 100);
  return ::futimens(fd_, times) == 0;
}

bool OutputFile::ReadBack(std::vector<std::uint8_t>& out) const {
  out.clear();
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || st.st_size < 0) return false;
  out.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out.resize(done);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputFile::StopRequested() const {
  if (cancel_ != nullptr) return cancel_->load(std::memory_order_relaxed);
  return !inMemory_ && AbortRequested();
}

}  // namespace kestrum
