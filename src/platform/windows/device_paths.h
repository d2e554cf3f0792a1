#pragma once
// The forms of the paths Windows opens devices by: "\\.\PhysicalDrive0" for
// a disk, "\\.\C:" or "\\?\Volume{…}" for a volume; "\\?\C:\…" and
// "\\?\UNC\…" are files with the long-path prefix. Pure functions over the
// text, so that they can be checked without a device.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum::platform::win32 {

// A disk or volume device rather than a file.
bool IsDeviceName(std::u16string_view path);
// N of "\\.\PhysicalDriveN" (the system takes the name in any case).
std::optional<std::uint32_t> DiskNumberOf(std::u16string_view path);
// The root GetVolumeInformationW names a mounted volume by: "C:\" for
// "\\.\C:", the GUID path with its backslash for "\\?\Volume{…}"; empty for
// anything else.
std::u16string VolumeRootOf(std::u16string_view path);

}  // namespace kestrum::platform::win32
