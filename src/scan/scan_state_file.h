#pragma once
// Saving the kept scan state to a file and loading it back, so that a scan
// can resume in a later run and found volumes can be listed and exported
// from it. The file names its device; a truncated, damaged or foreign file
// is refused with a reason, never half-loaded.

#include <cstdint>
#include <string>

#include "disk/device_identity.h"
#include "disk/volume_descriptor.h"
#include "scan/scan_request.h"
#include "scan/scan_state.h"

namespace kestrum {

// What the file says besides the state itself: whose it is and what was scanned.
struct SavedScan {
  DeviceIdentity device;
  ScanRequest request;
  VolumeDescriptor area;  // startSector, sectorCount, diskSectors, diskPath
};

// Written to a temporary file beside `path`, then renamed over it.
bool SaveScanState(const std::string& path, const SavedScan& saved, const ScanState& state,
                   std::u16string& error);
// Fills `saved` and `state` only when the whole file checks out.
bool LoadScanState(const std::string& path, SavedScan& saved, ScanState& state, std::u16string& error);
// The same from bytes in memory.
bool ParseScanState(const std::string& bytes, SavedScan& saved, ScanState& state, std::u16string& error);
std::string SerializeScanState(const SavedScan& saved, const ScanState& state);
// The checksum the header carries: FNV-1a over the body of a file's bytes.
std::uint64_t ScanStateChecksum(const std::string& bytes);

}  // namespace kestrum
