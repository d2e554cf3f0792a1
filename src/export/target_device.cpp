#include "export/target_device.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/text.h"
#include "disk/volume_descriptor.h"
#include "export/export_files.h"
#include "platform/storage.h"

namespace kestrum {

// Writing where the source stores its bytes could overwrite the very
// sectors that hold the lost data.
bool TargetIsOnSourceDevice(const std::u16string& target, const VolumeDescriptor& volume) {
  std::vector<std::string> written = platform::TargetStorage(target);
  std::set<std::string> read;
  for (const std::u16string* path : {&volume.diskPath, &volume.volumePath}) {
    for (std::string& key : platform::SourceStorage(*path)) read.insert(std::move(key));
  }
  return std::any_of(written.begin(), written.end(),
                     [&read](const std::string& key) { return read.count(key) != 0; });
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(std::filesystem::path(FromUtf8(path)), ec);
  return ec ? path : ToUtf8(real.u16string());
}

}  // namespace kestrum
