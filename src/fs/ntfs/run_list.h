#pragma once
// NTFS run lists (mapping pairs): decoding the bytes into runs, placing the
// runs on the device, and finding an MFT record inside them.

#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "disk/sector.h"
#include "disk/volume_descriptor.h"

namespace kestrum {

struct RunEntry {
  // Clusters from the previous run's start (sign-extended from the top
  // stored byte); 0 for a sparse run.
  std::int64_t delta = 0;
  // Absolute sector on the device, set by ResolveRunSectors.
  Sector64 startSector = 0;
  std::uint64_t length = 0;  // clusters
  // The run had no offset field: a hole that reads as zeros, with no
  // clusters behind it.
  bool sparse = false;
};

// Decodes header byte, L length bytes, O offset bytes, until a zero header
// byte or the end of `bytes`. A header with L = 0 or a nibble above 8, or a
// run cut off by the end of the bytes, is damage: decoding stops there and
// the runs before it stand. True when at least one run was decoded.
bool DecodeRunList(ByteView bytes, std::vector<RunEntry>& out);

// Walks the runs in order from the volume's start sector, adding
// spc × delta for each (64-bit arithmetic that wraps, as a damaged run
// list may point anywhere; reads past the device then fail).
void ResolveRunSectors(std::vector<RunEntry>& runs, const VolumeDescriptor& volume);

// Clusters × spc of a run, in 64 bits (at most UINT64_MAX).
std::uint64_t RunSectors(const RunEntry& run, std::uint32_t sectorsPerCluster);

// The sector of MFT record `record`, each run holding (spc × length) /
// (the volume's record sectors) records. False beyond the last run, inside a sparse run, or when the
// volume names no cluster size.
bool MapRecordToSector(std::uint32_t record, const VolumeDescriptor& volume,
                       const std::vector<RunEntry>& runs, Sector64& out);

}  // namespace kestrum
