#pragma once
// The file a copy routine writes a node's content into, and the record of
// what that copy met. The export creates and closes it; the readers' copy
// routines write, cut and date it, and note in its record what their reads
// and writes gave. A preview copies into memory instead of a file.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/sector.h"

namespace kestrum {

// What one copy met, from the reads and writes it made.
struct CopyRecord {
  std::uint64_t bytesWritten = 0;
  // The first read of content that failed, and how many sectors it asked
  // for (a failed read does not tell which of them are bad).
  bool readFailed = false;
  Sector64 failedReadSector = 0;
  std::uint32_t failedReadSectors = 0;
  // Sectors that could not be read and were written as zeros in a copy
  // that went on past them: a copy with holes, not a failed one.
  std::uint64_t unreadableSectors = 0;
  bool sourceUnopened = false;  // the disk the content lies on did not open
  int writeError = 0;           // errno of a failed write
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates (or empties) the file for reading and writing.
  bool Create(const std::string& path);
  // An anonymous file in memory, for a preview; ReadBack gives its bytes.
  // The copy stops (as a stop request would stop it) once *cancel is set.
  bool CreateInMemory(const std::atomic<bool>* cancel = nullptr);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  bool Write(const void* bytes, std::size_t size);
  // Cuts the file back to nothing: a copy that failed leaves an empty file.
  bool Truncate();
  // Modification time as given; creation time cannot be set on Linux, and
  // the access time is left as it is. 0 means "no time".
  bool SetTimes(std::uint64_t creationTime, std::uint64_t lastWriteTime);
  // Everything written so far (files in memory; any file opened here).
  bool ReadBack(std::vector<std::uint8_t>& out) const;

  // Whether the copy should stop: the run was asked to stop, or for a copy
  // into memory, its own cancel flag is set.
  bool StopRequested() const;

  CopyRecord& Record() { return record_; }
  const CopyRecord& Record() const { return record_; }

 private:
  int fd_ = -1;
  std::string path_;
  const std::atomic<bool>* cancel_ = nullptr;
  bool inMemory_ = false;
  CopyRecord record_;
};

}  // namespace kestrum
