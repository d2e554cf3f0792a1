#include "fs/copy_out.h"

#include <algorithm>
#include <vector>

#include "disk/volume_descriptor.h"

namespace kestrum {

void CountCopiedBytes(StatusMessage& status, std::uint64_t bytes) {
  status.exportStatus.currentFileCopied += bytes;
  status.exportStatus.bytesExported += bytes;
}

void ReportCopiedBytes(StatusMessage& status, std::uint64_t bytes) {
  CountCopiedBytes(status, bytes);
  if (status.kind == StatusKind::kExport) PostStatus(status);
}

DeviceHandle OpenContentSource(const VolumeDescriptor& volume, OutputFile& out) {
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) out.Record().sourceUnopened = true;
  return device;
}

bool ReadContent(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 sector,
                 std::uint32_t count, OutputFile& out) {
  if (ReadSectors(device, buffer, sector, count)) return true;
  CopyRecord& record = out.Record();
  if (!record.readFailed) {
    record.readFailed = true;
    record.failedReadSector = sector;
    record.failedReadSectors = count;
  }
  return false;
}

bool CopyContiguousSectors(const DeviceHandle& device, Sector64 first, std::uint64_t bytes,
                           OutputFile& out, StatusMessage& status) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(bytes, kCopyChunkBytes)));
  for (std::uint64_t done = 0; done < bytes;) {
    std::uint64_t piece = std::min(kCopyChunkBytes, bytes - done);
    auto sectors = static_cast<std::uint32_t>((piece + kSectorSize - 1) / kSectorSize);
    buffer.resize(std::size_t{sectors} * kSectorSize);
    if (out.StopRequested() || !ReadContent(device, buffer, first + done / kSectorSize, sectors, out) ||
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
