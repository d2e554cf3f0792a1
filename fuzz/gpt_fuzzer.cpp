// The GUID partition table: the input's first byte picks the logical sector
// size (512 to 4096), the rest is the disk from LBA 0. Whatever table reads
// must build again as a new table over the same disk that reads back as the
// same partitions, or a rebuild from it would write something else.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "disk/gpt.h"
#include "fuzz_image.h"

namespace {

using namespace kestrum;

// The new table written over a zeroed disk of the same size, read again.
void CheckRebuild(const GptTable& table, std::uint32_t sectorSize, std::uint64_t lbas) {
  GptBuildRequest request{lbas, sectorSize, {}, table.header.diskGuid, {}};
  GptPlan plan;
  if (IsZeroGuid(request.diskGuid) || !PlanGpt(lbas, sectorSize, table.partitions.size(), plan)) return;
  for (const GptPartition& p : table.partitions) {
    if (p.firstLba < plan.firstUsableLba || p.lastLba > plan.lastUsableLba || IsZeroGuid(p.unique)) continue;
    request.partitions.push_back({p.firstLba, p.lastLba, p.type, p.unique});
  }
  std::sort(request.partitions.begin(), request.partitions.end(),
            [](const GptNewPartition& a, const GptNewPartition& b) { return a.firstLba < b.firstLba; });
  std::vector<GptPiece> pieces;
  if (BuildGpt(request, pieces) != GptBuildFault::kNone) std::abort();
  int fd = ::memfd_create("kestrum-gpt", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(lbas * sectorSize)) != 0) std::abort();
  for (const GptPiece& piece : pieces) {
    auto at = static_cast<off_t>(piece.lba * sectorSize);
    if (::pwrite(fd, piece.bytes.data(), piece.bytes.size(), at) != static_cast<ssize_t>(piece.bytes.size())) {
      std::abort();
    }
  }
  DeviceHandle disk;
  GptTable again;
  if (!OpenDevice(FromUtf8("/proc/self/fd/" + std::to_string(fd)), disk)) std::abort();
  if (ReadGpt(disk, sectorSize, lbas, again) != GptRead::kPrimary || !again.entryProblems.empty() ||
      again.partitions.size() != request.partitions.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < request.partitions.size(); ++i) {
    const GptNewPartition& want = request.partitions[i];
    const GptPartition& got = again.partitions[i];
    if (got.firstLba != want.firstLba || got.lastLba != want.lastLba || got.type != want.type ||
        got.unique != want.unique) {
      std::abort();
    }
  }
  CloseDevice(disk);
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint32_t sectorSize = 512u << (data[0] % 4);
  ++data;
  --size;
  // The pure parsers straight over the bytes, as the header at LBA 1 and
  // the array after it.
  const ByteView bytes(data, size);
  GptHeader header;
  if (size >= 2 * sectorSize &&
      ParseGptHeader(bytes.subspan(sectorSize, sectorSize), 1, size / sectorSize, header) == GptFault::kNone &&
      header.entriesLba < size / sectorSize) {
    std::vector<GptPartition> partitions;
    std::vector<GptEntryProblem> problems;
    ParseGptEntries(bytes.subspan(header.entriesLba * sectorSize), header, size / sectorSize, partitions, problems);
  }
  fuzz::FuzzImage image(data, size, 3 * sectorSize);
  DeviceHandle disk;
  if (!image.Open(disk)) return 0;
  const std::uint64_t lbas = QueryDeviceBytes(disk.fd) / sectorSize;
  GptTable table;
  GptRead read = ReadGpt(disk, sectorSize, lbas, table);
  CloseDevice(disk);
  if (read == GptRead::kPrimary || read == GptRead::kBackup) CheckRebuild(table, sectorSize, lbas);
  return 0;
}
