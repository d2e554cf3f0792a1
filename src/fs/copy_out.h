#pragma once
// What every copy routine shares: opening the disk the content lies on,
// reading content sectors, counting the bytes it writes into the export
// status, and copying a run of consecutive sectors into the output. The reads
// and the opening note what they met in the output's CopyRecord, so a
// caller learns why a copy failed from the copy itself.

#include <cstdint>
#include <span>
#include <vector>

#include "run/worker_state.h"
#include "disk/device.h"
#include "fs/output_file.h"

namespace kestrum {

struct VolumeDescriptor;

// The unit in which contiguous content is read and written.
constexpr std::uint32_t kCopyChunkSectors = 2048;
constexpr std::uint64_t kCopyChunkBytes = std::uint64_t{kCopyChunkSectors} * kSectorSize;

// The sectors `bytes` of content take, the last one partly.
constexpr std::uint32_t SectorsHolding(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
}

// Adds bytes just written to this file's and the whole export's counters.
void CountCopiedBytes(StatusMessage& status, std::uint64_t bytes);
// The same, then posts the status for the progress display when it is an
// export's (kind 3); a preview's copy counts without posting.
void ReportCopiedBytes(StatusMessage& status, std::uint64_t bytes);

// The volume's disk, read-only, as OpenVolumeOnDisk opens it; a disk that
// does not open is noted in the record.
DeviceHandle OpenContentSource(const VolumeDescriptor& volume, OutputFile& out);
// Reads `count` sectors of content at `sector` as a failing disk allows
// (ReadSectorsMapped): sectors that will not read are zeros in the buffer
// and counted in the record's unreadableSectors, and the copy goes on.
// False when the read cannot be made at all (no open disk, a buffer too
// small), runs past the end of what the disk holds, or a stop cut the
// retries short; that is noted in the record (the first time only). Callers read only
// the sectors whose bytes they keep, so a bad sector in the slack after a
// file's end is never counted against it.
bool ReadContent(const DeviceHandle& device, std::span<std::uint8_t> buffer, Sector64 sector,
                 std::uint32_t count, OutputFile& out);

// Copies content into the output in file order as its pieces are named
// (clusters, runs), reading pieces that follow each other on the disk
// together, up to 1 MiB a read: a volume of small clusters is not read one
// cluster a call, and on a failing disk the retries and the passing over
// of a bad run (ReadSectorsMapped) see the whole run, so the good sectors
// after a bad run inside it are read back instead of left as zeros. Only
// the sectors holding the content's bytes are read, so the last piece may
// end inside a sector. A stop request, a failed read or a failed write ends
// the copy: Add and Finish answer false from then on, and the caller cuts
// the output back.
class ContentCopier {
 public:
  ContentCopier(const DeviceHandle& device, OutputFile& out, StatusMessage& status)
      : device_(device), out_(out), status_(status) {}
  // The next `bytes` of content, from `first` on.
  bool Add(Sector64 first, std::uint64_t bytes);
  // Copies what is still pending.
  bool Finish();

 private:
  bool Flush();

  const DeviceHandle& device_;
  OutputFile& out_;
  StatusMessage& status_;
  std::vector<std::uint8_t> buffer_;
  Sector64 pendingFirst_ = 0;
  std::uint64_t pendingBytes_ = 0;
  bool failed_ = false;
};

// Copies `bytes` from the consecutive sectors starting at `first` (a
// ContentCopier's reads); a failure cuts the output back to nothing and
// answers false.
bool CopyContiguousSectors(const DeviceHandle& device, Sector64 first, std::uint64_t bytes,
                           OutputFile& out, StatusMessage& status);

}  // namespace kestrum
