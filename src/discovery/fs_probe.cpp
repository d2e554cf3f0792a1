#include "discovery/fs_probe.h"

#include "discovery/probe.h"

namespace kestrum {

bool ProbePlatformVolume(const DeviceHandle& device, Sector64 firstSector, Sector64 sectorCount,
                         PlatformVolumeInfo& out) {
  out = PlatformVolumeInfo{};
  if (!device.IsOpen() || sectorCount == 0) return false;
  const std::uint64_t offset = (device.baseSector + firstSector) * kSectorSize;
  switch (platform::NameVolume(device.fd, device.name, offset, sectorCount * kSectorSize, out)) {
    case platform::Naming::kNamed: return true;
    case platform::Naming::kUnnamed: return false;
    case platform::Naming::kCannotTell: break;
  }
  return NameLikeTheSystem(device, firstSector, sectorCount, out.fsName, out.label, out.serial);
}

}  // namespace kestrum
