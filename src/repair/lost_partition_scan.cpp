#include "repair/lost_partition_scan.h"

#include <algorithm>
#include <vector>

#include "disk/device.h"
#include "run/worker_state.h"
#include "scan/block_findings.h"

namespace kestrum::repair {

namespace {

void Count(ScanCategory category, ScanStatus& scan) {
  switch (category) {
    case kCategoryMbr:
    case kCategoryEbr: ++scan.extendedTables; break;
    case kCategoryNtfsBoot: ++scan.ntfsBootSectors; break;
    case kCategoryFat16Boot:
    case kCategoryFat32Boot: ++scan.fatBootSectors; break;
    case kCategoryExfatBoot: ++scan.exfatBootSectors; break;
    default: break;
  }
}

// Classifies every block on the scan's grid; keeps what a partition table
// can be rebuilt from. False when stopped with "退出".
bool ScanBlocks(const DeviceHandle& disk, const VolumeDescriptor& area, std::vector<ScanFinding>& kept) {
  std::vector<std::uint8_t> block(std::size_t{kScanBlockSectors} * kSectorSize);
  std::vector<ScanFinding> findings;
  StatusMessage status;
  status.kind = StatusKind::kScan;
  status.scan.sectorsToScan = area.sectorCount;
  const Sector64 end = Sector64{area.startSector} + area.sectorCount;
  for (Sector64 first = area.startSector; first < end; first += kScanBlockSectors) {
    if (CurrentRunState() != RunState::kRunning) break;
    auto count = static_cast<std::uint32_t>(std::min<Sector64>(kScanBlockSectors, end - first));
    std::span<std::uint8_t> bytes(block.data(), std::size_t{count} * kSectorSize);
    ReadSectorsMapped(disk, bytes, first, count, nullptr);
    findings.clear();
    CollectBlockFindings(bytes, first, disk, findings);
    for (ScanFinding& f : findings) {
      if (!IsFoundPartitionKind(f.category)) continue;
      Count(f.category, status.scan);
      kept.push_back(std::move(f));
    }
    status.scan.sectorsScanned = static_cast<std::uint32_t>(first + count - area.startSector);
    PostStatus(status);
  }
  return !AbortRequested();
}

}  // namespace

void LostPartitionScanThread(LostPartitionScanJob& job) {
  BeginWorker("DiskFileScanReadThread");
  job.found.clear();
  job.completed = false;
  DeviceHandle disk = OpenVolumeOnDisk(job.disk);
  std::vector<ScanFinding> kept;
  if (disk.IsOpen() && ScanBlocks(disk, job.disk, kept)) {
    job.found = CollectFoundPartitions(kept, job.disk);
    job.completed = true;
  }
  CloseDevice(disk);
  if (job.completed) {
    TheFoundPartitionList() = job.found;
    RequestFinish();
  } else {
    RequestAbort();
  }
  EndWorker("DiskFileScanReadThread");
}

}  // namespace kestrum::repair
