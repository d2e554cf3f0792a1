#include "fs/ntfs/ntfs_export.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "disk/device.h"
#include "fs/copy_out.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/run_list.h"

namespace kestrum {

using namespace ntfs;

namespace {

bool Fail(OutputFile& out) {
  out.Truncate();
  return false;
}

// Copies the runs until `size` bytes are written; false on a failed read or
// write, or a stop request. Slack after the last byte is never read, so a bad
// sector there cannot fail a copy that has everything.
bool CopyRuns(const DeviceHandle& device, const std::vector<RunEntry>& runs, std::uint32_t spc,
              std::uint64_t size, OutputFile& out, StatusMessage& status) {
  std::vector<std::uint8_t> buffer(std::size_t{kChunkSectors} * kSectorSize);
  std::uint64_t written = 0;
  for (const RunEntry& run : runs) {
    const std::uint64_t sectors = RunSectors(run, spc);
    for (std::uint64_t done = 0; done < sectors && written < size;) {
      if (out.StopRequested()) return false;
      // Sectors past the file's end hold nothing of it and are not read.
      std::uint64_t needed = (size - written + kSectorSize - 1) / kSectorSize;
      auto chunk = static_cast<std::uint32_t>(
          std::min<std::uint64_t>({kChunkSectors, sectors - done, needed}));
      std::uint64_t keep = std::min(std::uint64_t{chunk} * kSectorSize, size - written);
      if (run.sparse) {
        std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(keep), std::uint8_t{0});
      } else if (!ReadContent(device, buffer, Sector64{run.startSector} + done, chunk, out)) {
        return false;
      }
      if (!out.Write(buffer.data(), static_cast<std::size_t>(keep))) return false;
      done += chunk;
      written += keep;
      ReportCopiedBytes(status, keep);
    }
    if (written >= size) break;
  }
  return true;
}

// Resident content, read from its record again: the record is read whole
// (a sector of it that will not read fails the copy, as half a record
// cannot be trusted), and only a record that still holds the value the
// listing saw is copied from.
bool CopyResident(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out, StatusMessage& status) {
  const MftRecordMap* places = volume.readerState.mftRecords.get();
  Sector64 sector = 0;
  if (places == nullptr || !MapRecordToSector(node.RecordPlace(), volume, places->runs, sector)) return false;
  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return false;
  const std::uint32_t recordBytes = RecordBytesOf(volume);
  std::vector<std::uint8_t> record(recordBytes);
  std::uint32_t unreadable = 0;
  ReadRecords(device, sector, 1, recordBytes, record, &unreadable);
  CloseDevice(device);
  if (unreadable != 0) {
    CopyRecord& noted = out.Record();
    noted.readFailed = true;
    noted.failedReadSector = sector;
    noted.failedReadSectors = recordBytes / kSectorSize;
    return false;
  }
  const std::optional<ByteView> content = ResidentContent(record, node);
  if (!content) return false;
  if (!content->empty() && !out.Write(content->data(), content->size())) return false;
  CountCopiedBytes(status, content->size());  // resident: counted, shown with the next file
  return true;
}

}  // namespace

bool ExportNtfsFile(const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                    StatusMessage& status) {
  if (node.residentData) {
    if (!CopyResident(volume, node, out, status)) return Fail(out);
    out.SetTimes(node.creationTime, node.lastWriteTime);
    return true;
  }

  std::vector<RunEntry> runs;
  ByteView runList(node.data.data(), std::min<std::size_t>(node.location, node.data.size()));
  if (node.size == 0) {
    out.SetTimes(node.creationTime, node.lastWriteTime);
    return true;
  }
  // A non-empty file whose run list was not kept, or holds no run, or a
  // volume that names no cluster size: nothing to copy from.
  const std::uint32_t spc = SectorsPerCluster(volume);
  if (spc == 0 || runList.empty() || !DecodeRunList(runList, runs)) return Fail(out);
  ResolveRunSectors(runs, volume);

  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return Fail(out);
  bool copied = CopyRuns(device, runs, spc, node.size, out, status);
  CloseDevice(device);
  if (!copied) return Fail(out);
  out.SetTimes(node.creationTime, node.lastWriteTime);
  return true;
}

}  // namespace kestrum
