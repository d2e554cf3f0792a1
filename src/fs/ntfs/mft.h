#pragma once
// The Master File Table: reading FILE records from the device, and finding
// the MFT's own runs in its record 0 (or in the mirror's copy of it).

#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_order.h"
#include "disk/device.h"
#include "disk/volume_descriptor.h"
#include "fs/ntfs/run_list.h"

namespace kestrum {

// Where the records of a volume lie, by their place in the MFT (as
// MapRecordToSector counts them): the MFT's runs as the reader followed
// them, or for a volume rebuilt from the records a scan found, the one
// stretch they lie in. Kept with the volume, so that content left in a
// record is read from it when it is copied.
struct MftRecordMap {
  std::vector<RunEntry> runs;  // resolved
};

// Reads `count` records of `recordBytes` each at `sector` into `buffer` and
// applies each record's fixup. A record with a sector that cannot be read is
// left zero whole, so it fails the magic test rather than give half a file,
// and is added to *unreadable (when given). At most as many records as the
// buffer holds are read. True when everything was read in one piece.
bool ReadRecords(const DeviceHandle& device, Sector64 sector, std::uint32_t count, std::uint32_t recordBytes,
                 std::span<std::uint8_t> buffer, std::uint32_t* unreadable = nullptr);

// The MFT's runs from the first $DATA attribute of a record 0 already in
// memory: non-resident, with at least 3 run-list bytes, resolved on the
// volume. False when the record is no FILE record, has no such $DATA, or its
// run list decodes to nothing.
bool DecodeMftRecordRuns(ByteView record, const VolumeDescriptor& volume,
                         std::vector<RunEntry>& out);

// ReadRecords one record at `sector`, then DecodeMftRecordRuns. Only the
// first $DATA of the record counts: an MFT whose runs live in an attribute
// list is not supported.
bool ReadMftRuns(const VolumeDescriptor& volume, const DeviceHandle& device, Sector64 sector,
                 std::vector<RunEntry>& out);

// The runs from record 0 at the MFT cluster, else from the mirror's record
// 0, which describes the same runs. False when the boot sector names no
// cluster size or neither copy yields runs.
bool FindMftRuns(const VolumeDescriptor& volume, const DeviceHandle& device,
                 std::vector<RunEntry>& out);

// How many records the runs hold, (sum of run sectors) / record sectors,
// but never more than the volume has room for: a damaged run list cannot
// make the reader size its tree beyond the volume.
std::uint32_t CountMftRecords(const std::vector<RunEntry>& runs, const VolumeDescriptor& volume);

}  // namespace kestrum
