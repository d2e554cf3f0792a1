#include "platform/system_disks.h"

#include <blkid/blkid.h>
#include <malloc.h>

#include <cctype>

#include "base/text.h"
#include "platform/code_page.h"
#include "platform/linux/sysfs.h"

namespace kestrum {

namespace {

platform::SystemDisk FromSysfs(const SysfsDisk& sys) {
  platform::SystemDisk disk;
  disk.path = FromUtf8("/dev/" + sys.name);
  disk.name = FromUtf8(sys.name);
  disk.vendor = sys.vendor;
  disk.model = sys.model;
  disk.backingFile = sys.backingFile;
  disk.removable = sys.removable;
  return disk;
}

std::string Lookup(blkid_probe probe, const char* key) {
  const char* value = nullptr;
  std::size_t len = 0;
  if (blkid_probe_lookup_value(probe, key, &value, &len) != 0 || value == nullptr) return "";
  std::string text(value, len);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::u16string SystemFsName(const std::string& type, const std::string& version) {
  if (type == "ntfs") return u"NTFS";
  if (type == "exfat") return u"exFAT";
  if (type == "vfat") return version == "FAT32" ? u"FAT32" : u"FAT";
  return FromUtf8(type);
}

// The low 32 bits of a UUID or serial text such as "1A2B-3C4D" or "0123456789ABCDEF".
std::uint32_t SerialFromUuidText(const std::string& uuid) {
  std::uint64_t value = 0;
  for (char c : uuid) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::vector<platform::SystemDisk> SysfsDisks::ListDisks() const {
  std::vector<platform::SystemDisk> disks;
  for (const SysfsDisk& sys : sysfs_.ListDisks()) disks.push_back(FromSysfs(sys));
  return disks;
}

bool SysfsDisks::FindDisk(const std::u16string& path, platform::SystemDisk& out) const {
  const std::string name = WholeDiskName(ToUtf8(path), sysfs_);
  SysfsDisk sys;
  if (name.empty() || !sysfs_.ReadDisk(name, sys)) return false;
  out = FromSysfs(sys);
  return true;
}

std::vector<platform::SystemPartition> SysfsDisks::ListPartitions(const platform::SystemDisk& disk) const {
  std::vector<platform::SystemPartition> parts;
  for (const SysfsPartition& p : sysfs_.ListPartitions(ToUtf8(disk.name))) {
    parts.push_back({FromUtf8(p.name), FromUtf8("/dev/" + p.name), p.number, p.startSector, p.sectorCount});
  }
  return parts;
}

namespace platform {

std::shared_ptr<const SystemDisks> MachineDisks() {
  static const std::shared_ptr<const SystemDisks> disks = std::make_shared<SysfsDisks>();
  return disks;
}

Naming NameVolume(int fd, const std::u16string& /*path*/, std::uint64_t byteOffset, std::uint64_t byteCount,
                  SystemVolumeInfo& out) {
  out = SystemVolumeInfo{};
  if (fd < 0 || byteCount == 0) return Naming::kUnnamed;
  blkid_probe probe = blkid_new_probe();
  if (probe == nullptr) return Naming::kUnnamed;
  bool found = false;
  if (blkid_probe_set_device(probe, fd, static_cast<blkid_loff_t>(byteOffset),
                             static_cast<blkid_loff_t>(byteCount)) == 0) {
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_LABELRAW |
                                                 BLKID_SUBLKS_UUID | BLKID_SUBLKS_VERSION |
                                                 BLKID_SUBLKS_USAGE);
    blkid_probe_enable_partitions(probe, 0);
    const int result = blkid_do_safeprobe(probe);
    if (result == -2) {
      // Ambivalent: walk the candidates one by one to name them.
      blkid_reset_probe(probe);
      while (blkid_do_probe(probe) == 0) {
        std::string type = Lookup(probe, "TYPE");
        if (!type.empty()) out.claimants.push_back(std::move(type));
      }
    }
    if (result == 0 && Lookup(probe, "USAGE") == "filesystem") {
      std::string type = Lookup(probe, "TYPE");
      if (!type.empty()) {
        found = true;
        out.fsName = SystemFsName(type, Lookup(probe, "VERSION"));
        // FAT labels are raw code-page bytes; blkid has already decoded the others.
        out.label = type == "vfat" ? TrimTrailingBlanks(DecodeLabelBytes(Lookup(probe, "LABEL_RAW")))
                                   : FromUtf8(Lookup(probe, "LABEL"));
        out.serial = SerialFromUuidText(Lookup(probe, "UUID"));
      }
    }
  }
  blkid_free_probe(probe);
  // The probe leaves its many read buffers (near a megabyte over all the
  // formats it tries) free but scattered in the heap, where a tree read in a
  // worker thread's arena cannot reuse them: give the pages back.
  malloc_trim(0);
  return found ? Naming::kNamed : Naming::kUnnamed;
}

}  // namespace platform
}  // namespace kestrum
