#include "fs/output_file.h"

#include <cerrno>

#include "base/text.h"
#include "run/worker_state.h"
#include "platform/files.h"

namespace kestrum {

bool OutputFile::Create(const std::string& path) {
  Close();
  fd_ = platform::OpenFile(FromUtf8(path), platform::OpenMode::kCreate);
  path_ = path;
  inMemory_ = false;
  cancel_ = nullptr;
  record_ = CopyRecord{};
  if (fd_ < 0) record_.writeError = errno;
  return fd_ >= 0;
}

bool OutputFile::CreateInMemory(const std::atomic<bool>* cancel) {
  Close();
  fd_ = platform::OpenAnonymousFile();
  path_.clear();
  inMemory_ = true;
  cancel_ = cancel;
  record_ = CopyRecord{};
  if (fd_ < 0) record_.writeError = errno;
  return fd_ >= 0;
}

void OutputFile::Close() {
  platform::CloseFile(fd_);
  fd_ = -1;
}

bool OutputFile::Write(const void* bytes, std::size_t size) {
  if (platform::WriteAll(fd_, bytes, size, &record_.bytesWritten)) return true;
  record_.writeError = errno;
  return false;
}

bool OutputFile::Truncate() {
  if (fd_ < 0) return false;
  record_.bytesWritten = 0;
  return platform::TruncateFile(fd_);
}

bool OutputFile::SetTimes(std::uint64_t creationTime, std::uint64_t lastWriteTime) {
  if (fd_ < 0 || inMemory_) return false;
  return platform::SetFileTimes(fd_, creationTime, lastWriteTime);
}

bool OutputFile::ReadBack(std::vector<std::uint8_t>& out) const {
  out.clear();
  if (fd_ < 0) return false;
  out.resize(static_cast<std::size_t>(platform::FileBytes(fd_)));
  return platform::ReadFileAt(fd_, out.data(), out.size(), 0);
}

bool OutputFile::StopRequested() const {
  if (cancel_ != nullptr) return cancel_->load(std::memory_order_relaxed);
  return !inMemory_ && AbortRequested();
}

}  // namespace kestrum
