#include "repair/record_bytes.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/text.h"
#include "platform/files.h"

namespace kestrum::repair {

bool WriteAllBytes(int fd, const std::uint8_t* data, std::size_t size) { return platform::WriteAll(fd, data, size); }

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out) {
  std::ifstream in(std::filesystem::path(FromUtf8(path)), std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ReplaceFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::u16string target = FromUtf8(path);
  const std::u16string next = target + u".new";
  int fd = platform::OpenFile(next, platform::OpenMode::kCreatePrivate);
  if (fd < 0) return false;
  bool ok = WriteAllBytes(fd, bytes.data(), bytes.size()) && platform::FlushFile(fd);
  ok = platform::CloseFile(fd) && ok;
  if (!ok || !platform::ReplaceFile(next, target)) {
    platform::RemoveFile(next);
    return false;
  }
  platform::FlushFolder(platform::FolderOfPath(target));
  return true;
}

}  // namespace kestrum::repair
