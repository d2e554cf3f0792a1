#include "discovery/device_rows.h"

#include <cerrno>
#include <cstring>

#include "base/catalog.h"
#include "base/text.h"
#include "platform/files.h"

namespace kestrum {

namespace {

std::u16string BlankIfEmpty(const std::u16string& text) { return text.empty() ? u" " : text; }

bool LacksRights(int error) { return error == EACCES || error == EPERM; }

}  // namespace

VolumeRow FormatVolumeRow(const VolumeDescriptor& volume) {
  return {BlankIfEmpty(volume.name), BlankIfEmpty(volume.label), FsKindName(volume.fsKind),
          FormatGibOrTib(static_cast<double>(volume.sectorCount) / 2097152.0),
          BlankIfEmpty(volume.diskDescription)};
}

DiskRow FormatDiskRow(const DiskInfo& disk) { return {disk.description, disk.sizeText}; }

std::u16string OpenErrorText(int error) {
  if (LacksRights(error)) return Tr(u"权限不足");
  return FromUtf8(platform::ErrorText(error));
}

std::vector<std::u16string> UnopenedDeviceLines(const UnopenedDevices& devices) {
  std::vector<std::u16string> lines;
  bool rightsLacking = false;
  for (const UnopenedDevice& device : devices) {
    lines.push_back(Tr(u"无法打开设备: ") + device.path + Tr(u"（") + OpenErrorText(device.error) + Tr(u"）"));
    rightsLacking = rightsLacking || LacksRights(device.error);
  }
  if (rightsLacking) lines.push_back(Tr(u"读取磁盘需要 root 权限，请以 root 身份运行本软件（例如用 sudo）"));
  return lines;
}

}  // namespace kestrum
