#include "fs/copy_out.h"

#include <algorithm>
#include <vector>

namespace kestrum {

void CountCopiedBytes(StatusMessage& status, std::uint64_t bytes) {
  status.kind = StatusKind::kExport;
  status.exportStatus.currentFileCopied += bytes;
  status.exportStatus.bytesExported += bytes;
}

void ReportCopiedBytes(StatusMessage& status, std::uint64_t bytes) {
  CountCopiedBytes(status, bytes);
  PostStatus(status);
}

bool CopyContiguousSectors(const DeviceHandle& device, Sector64 first, std::uint64_t bytes,
                           OutputFile& out, StatusMessage& status) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(bytes, kCopyChunkBytes)));
  for (std::uint64_t done = 0; done < bytes;) {
    std::uint64_t piece = std::min(kCopyChunkBytes, bytes - done);
    auto sectors = static_cast<std::uint32_t>((piece + kSectorSize - 1) / kSectorSize);
    buffer.resize(std::size_t{sectors} * kSectorSize);
    if (AbortRequested() || !ReadSectors(device, buffer, first + done / kSectorSize, sectors) ||
        !out.Write(buffer.data(), static_cast<std::size_t>(piece))) {
      out.Truncate();
      return false;
    }
    done += piece;
    ReportCopiedBytes(status, piece);
  }
  return true;
}

}  // namespace kestrum
