#pragma once
// Volumes that a scan's partition tables and boot sectors describe: the
// entries of the EBRs it found, and every NTFS, FAT or exFAT boot sector, at
// its own place or as the backup copy of a volume that starts further down.

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "rebuild/rebuild_volumes.h"

namespace kestrum {

// The data entries of every EBR finding (extended entries and entries under
// 16384 sectors are not volumes), each kept only when the sector it points at
// is a boot sector. Appends to `rebuilt`.
void VolumesFromPartitionTables(const FindingRefs& structure, const DeviceHandle& device, VolumeList& rebuilt);

// Every NTFS, FAT16, FAT32 or exFAT boot-sector finding that is backed by
// its volume's structures, taken at its own sector or else as the backup at
// the end of an NTFS volume, at sector 6 of a FAT32 one or in the backup
// boot region of an exFAT one. Appends to `rebuilt`.
void VolumesFromBootSectors(const FindingRefs& structure, const DeviceHandle& device, VolumeList& rebuilt);

// NTFS volumes whose boot sector is gone, from runs of MFT (or mirror)
// records: a synthetic boot sector that names the cluster size and where the
// run lies, and an unknown size. Appends to `rebuilt`.
void NtfsVolumesFromMftRuns(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                            VolumeList& rebuilt);

}  // namespace kestrum
