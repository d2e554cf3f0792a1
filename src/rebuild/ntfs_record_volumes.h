#pragma once
// NTFS volumes whose boot sector, backup and MFT start are all lost, rebuilt
// from the MFT records and INDX blocks a scan found scattered over the disk:
// records of MFTs already known are set aside, the rest cut into stretches
// of one MFT, the cluster size inferred from the files' allocated sizes, and
// the volume's start pinned by a directory whose INDX block was found.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_finding.h"

namespace kestrum {

// Stretches shorter than this are not taken for a volume.
constexpr std::uint32_t kMinGroupRecords = 50;

struct SectorRange {
  Sector64 first = 0;
  Sector64 last = 0;  // inclusive
};

using RecordRefs = std::vector<const ScanFinding*>;

// The sectors of the MFT and mirror runs of every NTFS volume in `volumes`.
std::vector<SectorRange> KnownMftRanges(const VolumeList& volumes, const DeviceHandle& device);
// The MFT-record findings that lie in none of `known`, in scan order.
RecordRefs UnclaimedRecords(const std::vector<ScanFinding>& findings, const std::vector<SectorRange>& known);
// The stretch of consecutive records from `position`: each next record has a
// higher number and lies two sectors per number further on. Moves
// `position` to the record that ended the stretch, or past the end.
RecordRefs NextRecordGroup(const RecordRefs& records, std::size_t& position);
// Sectors per cluster from the allocated sizes of the group's files in use:
// the smallest of them, when more than 24 files have one and it divides all.
std::optional<std::uint32_t> EstimateNtfsClusterSize(const RecordRefs& group);

struct NtfsStart {
  Sector64 start = 0;
  std::uint32_t sectorsPerCluster = 0;
};
// The volume's first sector: a directory of the group with 3 to 30 children
// whose INDX block was found, less the cluster its index allocation names.
std::optional<NtfsStart> FindNtfsVolumeStart(const RecordRefs& group, const RecordRefs& indexBlocks,
                                             const DeviceHandle& device);
// A volume of unknown size whose tree is built from the group's records.
void BuildNtfsFromGroup(const RecordRefs& group, const NtfsStart& start, const DeviceHandle& device,
                        const std::u16string& diskPath, VolumeList& volumes);

// Every stretch of at least kMinGroupRecords unclaimed records that yields a
// cluster size and a start becomes a volume appended to `volumes`.
void RebuildNtfsFromFindings(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                             const std::u16string& diskPath, VolumeList& volumes);

}  // namespace kestrum
