#include "disk/device_identity.h"

#include "disk/device.h"
#include "platform/files.h"

namespace kestrum {

bool IdentifyDevice(const std::u16string& path, const std::u16string& description, DeviceIdentity& out) {
  std::string token;
  if (!platform::DeviceToken(path, token)) return false;
  out.description = description;
  out.sectors = QueryPathBytes(path) / kSectorSize;
  out.token = std::move(token);
  return true;
}

}  // namespace kestrum
