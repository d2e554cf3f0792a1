#include "platform/linux/sysfs.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace kestrum {

namespace fs = std::filesystem;

namespace {

std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::uint64_t ReadNumber(const fs::path& path) {
  std::string text = ReadLine(path);
  try {
    return text.empty() ? 0 : std::stoull(text);
  } catch (...) {
    return 0;
  }
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool AllDigits(const std::string& s, std::size_t from) {
  if (from >= s.size()) return false;
  return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(),
                     [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

bool IsListedDiskName(const std::string& name) {
  if (StartsWith(name, "sd") || StartsWith(name, "vd") || StartsWith(name, "hd")) {
    return name.size() > 2 && std::all_of(name.begin() + 2, name.end(), ::isalpha);
  }
  if (StartsWith(name, "xvd")) return name.size() > 3;
  if (StartsWith(name, "nvme")) {
    std::size_t n = name.find('n', 4);
    return n != std::string::npos && name.find('p') == std::string::npos && AllDigits(name, n + 1);
  }
  if (StartsWith(name, "mmcblk")) return AllDigits(name, 6);
  if (StartsWith(name, "loop")) return AllDigits(name, 4);
  return false;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

bool Sysfs::ReadDisk(const std::string& name, SysfsDisk& out) const {
  fs::path dir = fs::path(root_) / name;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return false;
  out = SysfsDisk{};
  out.name = name;
  out.vendor = ReadLine(dir / "device" / "vendor");
  out.model = ReadLine(dir / "device" / "model");
  out.removable = ReadNumber(dir / "removable") != 0;
  if (StartsWith(name, "loop")) {
    out.backingFile = ReadLine(dir / "loop" / "backing_file");
    if (out.backingFile.empty()) return false;  // an unattached loop device has no media
  }
  return true;
}

std::vector<SysfsDisk> Sysfs::ListDisks() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root_, ec)) {
    std::string name = entry.path().filename().string();
    if (IsListedDiskName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  std::vector<SysfsDisk> disks;
  for (const std::string& name : names) {
    SysfsDisk disk;
    if (ReadDisk(name, disk)) disks.push_back(disk);
  }
  return disks;
}

std::vector<SysfsPartition> Sysfs::ListPartitions(const std::string& diskName) const {
  std::vector<SysfsPartition> parts;
  fs::path dir = fs::path(root_) / diskName;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!fs::exists(entry.path() / "partition", ec)) continue;
    SysfsPartition part;
    part.name = entry.path().filename().string();
    part.number = static_cast<int>(ReadNumber(entry.path() / "partition"));
    part.startSector = ReadNumber(entry.path() / "start");
    part.sectorCount = ReadNumber(entry.path() / "size");
    parts.push_back(part);
  }
  std::sort(parts.begin(), parts.end(), [](const SysfsPartition& a, const SysfsPartition& b) {
    return a.startSector != b.startSector ? a.startSector < b.startSector : a.number < b.number;
  });
  return parts;
}

std::string WholeDiskName(const std::string& devicePath, const Sysfs& sysfs) {
  struct stat st {};
  if (stat(devicePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return "";
  std::string name = fs::path(devicePath).filename().string();
  SysfsDisk disk;
  if (!IsListedDiskName(name) || !sysfs.ReadDisk(name, disk)) return "";
  return name;
}

}  // namespace kestrum
