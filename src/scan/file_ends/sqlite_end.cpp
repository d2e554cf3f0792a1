// An SQLite database is whole pages; its header gives the page size and,
// when it was written by a version that keeps it (the "valid for" counter
// equals the change counter), the number of pages.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindSqliteEnd(ByteSource& source) {
  using namespace sqlite_layout;
  ByteView header = source.Peek(0, kHeaderSize);
  if (header.size() < kHeaderSize) return std::nullopt;
  std::uint32_t pageSize = ReadBe16(header, kPageSize);
  if (pageSize == 1) pageSize = 65536;
  if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) return std::nullopt;
  const std::uint8_t write = header[kWriteVersion];
  const std::uint8_t read = header[kReadVersion];
  if (write < 1 || write > 2 || read < 1 || read > 2) return std::nullopt;
  if (ReadBe32(header, kValidFor) != ReadBe32(header, kChangeCounter)) return std::nullopt;
  const std::uint64_t pages = ReadBe32(header, kPageCount);
  if (pages == 0) return std::nullopt;
  const std::uint64_t end = pages * pageSize;
  if (!source.Fits(0, end)) return std::nullopt;
  return end;
}

}  // namespace kestrum
