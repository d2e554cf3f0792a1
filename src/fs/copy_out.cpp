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
  CopyRecord& record = out.Record();
  std::vector<std::uint8_t> readable(count);
  const bool fits = device.IsOpen() && buffer.size() >= std::uint64_t{count} * kSectorSize;
  if (fits && ReadSectorsMapped(device, buffer, sector, count, readable.data())) return true;
  // Content past the end of the volume's disk is not there to be read, and
  // a stop inside the sector-by-sector reads leaves sectors untried: no
  // copy to go on with either way.
  const bool pastEnd = device.sectorLimit != 0 && sector + count > device.sectorLimit;
  if (!fits || pastEnd || AbortRequested()) {
    if (!record.readFailed) {
      record.readFailed = true;
      record.failedReadSector = sector;
      record.failedReadSectors = count;
    }
    return false;
  }
  record.unreadableSectors +=
      static_cast<std::uint64_t>(std::count(readable.begin(), readable.end(), std::uint8_t{0}));
  return true;
}

bool CopyContiguousSectors(const DeviceHandle& device, Sector64 first, std::uint64_t bytes,
                           OutputFile& out, StatusMessage& status) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(bytes, kCopyChunkBytes)));
  for (std::uint64_t done = 0; done < bytes;) {
    std::uint64_t piece = std::min(kCopyChunkBytes, bytes - done);
    const std::uint32_t sectors = SectorsHolding(piece);
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
