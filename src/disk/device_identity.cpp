#include "disk/device_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "base/text.h"
#include "disk/device.h"

namespace kestrum {

namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) line.pop_back();
  return line;
}

}  // namespace

bool IdentifyDevice(const std::u16string& path, const std::u16string& description, DeviceIdentity& out) {
  struct stat st {};
  if (::stat(ToUtf8(path).c_str(), &st) != 0) return false;
  out.description = description;
  out.sectors = QueryPathBytes(path) / kSectorSize;
  if (S_ISBLK(st.st_mode)) {
    const std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev));
    for (const char* file : {"/device/serial", "/device/wwid", "/serial", "/wwid"}) {
      std::string serial = FirstLine(sys + file);
      if (!serial.empty()) {
        out.token = "serial:" + serial;
        return true;
      }
    }
    out.token = "block:" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    return true;
  }
  out.token = "file:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  return true;
}

}  // namespace kestrum
