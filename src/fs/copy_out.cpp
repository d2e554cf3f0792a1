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

bool ContentCopier::Add(Sector64 first, std::uint64_t bytes) {
  while (bytes != 0 && !failed_) {
    // Only a piece that ends on a sector boundary can be followed in the same read.
    const bool follows = pendingBytes_ % kSectorSize == 0 && first == pendingFirst_ + pendingBytes_ / kSectorSize;
    if (pendingBytes_ != 0 && (!follows || pendingBytes_ == kCopyChunkBytes) && !Flush()) break;
    if (pendingBytes_ == 0) pendingFirst_ = first;
    const std::uint64_t take = std::min(bytes, kCopyChunkBytes - pendingBytes_);
    pendingBytes_ += take;
    first += take / kSectorSize;
    bytes -= take;
  }
  return !failed_;
}

bool ContentCopier::Finish() { return !failed_ && (pendingBytes_ == 0 || Flush()); }

bool ContentCopier::Flush() {
  const std::uint32_t sectors = SectorsHolding(pendingBytes_);
  buffer_.resize(std::size_t{sectors} * kSectorSize);
  if (out_.StopRequested() || !ReadContent(device_, buffer_, pendingFirst_, sectors, out_) ||
      out_.StopRequested() || !out_.Write(buffer_.data(), static_cast<std::size_t>(pendingBytes_))) {
    failed_ = true;
    return false;
  }
  ReportCopiedBytes(status_, pendingBytes_);
  pendingBytes_ = 0;
  return true;
}

bool CopyContiguousSectors(const DeviceHandle& device, Sector64 first, std::uint64_t bytes,
                           OutputFile& out, StatusMessage& status) {
  ContentCopier copier(device, out, status);
  const bool ok = copier.Add(first, bytes) && copier.Finish();
  if (!ok) out.Truncate();
  return ok;
}

}  // namespace kestrum
