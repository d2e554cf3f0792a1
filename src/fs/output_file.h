#pragma once
// The file a copy routine writes a node's content into. The export creates
// and closes it; the readers' copy routines write, cut and date it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrum {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates (or empties) the file for reading and writing.
  bool Create(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  bool Write(const void* bytes, std::size_t size);
  // Cuts the file back to nothing: a copy that failed leaves an empty file.
  bool Truncate();
  // Modification time as given; creation time cannot be set on Linux, and
  // the access time is left as it is. 0 means "no time".
  bool SetTimes(std::uint64_t creationTime, std::uint64_t lastWriteTime);

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace kestrum
