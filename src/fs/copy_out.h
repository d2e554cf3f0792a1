#pragma once
// What every copy routine shares: counting the bytes it writes into the
// export status, and copying a run of consecutive sectors into the output.

#include <cstdint>

#include "run/worker_state.h"
#include "disk/device.h"
#include "fs/output_file.h"

namespace kestrum {

// The unit in which contiguous content is read and written.
constexpr std::uint32_t kCopyChunkSectors = 2048;
constexpr std::uint64_t kCopyChunkBytes = std::uint64_t{kCopyChunkSectors} * kSectorSize;

// Adds bytes just written to this file's and the whole export's counters.
void CountCopiedBytes(StatusMessage& status, std::uint64_t bytes);
// The same, then posts the status for the progress display.
void ReportCopiedBytes(StatusMessage& status, std::uint64_t bytes);

// Copies `bytes` from the consecutive sectors starting at `first`, 1 MiB per
// read; the last read takes only the sectors the content needs, so content
// that ends near the end of the disk still copies. A stop request, a failed
// read or a failed write cuts the output back to nothing and answers false.
bool CopyContiguousSectors(const DeviceHandle& device, Sector64 first, std::uint64_t bytes,
                           OutputFile& out, StatusMessage& status);

}  // namespace kestrum
