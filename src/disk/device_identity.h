#pragma once
// What tells one device from another beyond its description and size: the
// disk's serial number where the kernel reports one, else the device number
// of a block device or the file of an image. Kept with a saved scan so that
// the scan is never applied to another disk of the same model.

#include <cstdint>
#include <string>

namespace kestrum {

struct DeviceIdentity {
  std::u16string description;
  std::uint64_t sectors = 0;
  std::string token;  // "serial:…", "block:…" (the device's number) or "file:…" (its place on its volume)

  bool operator==(const DeviceIdentity&) const = default;
};

// False when the path cannot be examined.
bool IdentifyDevice(const std::u16string& path, const std::u16string& description, DeviceIdentity& out);

}  // namespace kestrum
