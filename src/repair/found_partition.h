#pragma once
// A partition boot sector (or partition table) the lost-partition scan found,
// and the list of them a scan leaves for the repair page. Records are plain
// values in absolute sector numbers of the scanned disk.

#include <array>
#include <cstdint>
#include <vector>

#include "disk/device.h"
#include "disk/sector.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_category.h"
#include "scan/scan_finding.h"

namespace kestrum::repair {

// dataState values.
enum DataState : std::uint8_t {
  kDataDamaged = 0,  // the file system behind the boot sector did not validate
  kDataValid = 1,    // validated at startSector
  kDataBackup = 2,   // a backup boot sector of a volume that validates earlier
};

struct FoundPartition {
  std::uint32_t index = 0;     // row number on the repair page
  Sector64 tableSector = 0;    // where its table entry goes; set by PlaceTables
  Sector64 startSector = 0;
  Sector64 endSector = 0;      // inclusive
  Sector64 sectorCount = 0;
  ScanCategory kind = kNoCategory;
  std::uint8_t dataState = kDataDamaged;
  std::array<std::uint8_t, kSectorSize> bootSector{};
};

using FoundPartitionList = std::vector<FoundPartition>;

// Whether a finding of this category becomes a found-partition record.
bool IsFoundPartitionKind(ScanCategory category);

// One record per finding of a table or boot-sector category, in the order
// given (the scan's ascending sector order): sector, kind and copy only.
FoundPartitionList FoundPartitionsFromFindings(const std::vector<ScanFinding>& findings);

// Sizes a boot-sector record and checks the file system behind it on
// `disk`. False when the boot sector gives no size (zero, or running past
// the last sector number): such a record is no candidate.
// Table records are left as they are and kept.
bool CompleteFoundPartition(FoundPartition& record, const DeviceHandle& disk);

// The whole finishing step of a lost-partition scan: the records of the
// findings, completed over the scanned disk opened read-only. Records that
// cannot be sized are left out.
FoundPartitionList CollectFoundPartitions(const std::vector<ScanFinding>& findings,
                                          const VolumeDescriptor& scanned);

// The list the last lost-partition scan left for the repair page.
FoundPartitionList& TheFoundPartitionList();

}  // namespace kestrum::repair
