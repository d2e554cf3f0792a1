#include "discovery/fs_probe.h"

#include <blkid/blkid.h>
#include <malloc.h>

#include <cctype>

#include "base/text.h"

namespace kestrum {

namespace {

bool IsValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

std::string Lookup(blkid_probe probe, const char* key) {
  const char* value = nullptr;
  std::size_t len = 0;
  if (blkid_probe_lookup_value(probe, key, &value, &len) != 0 || value == nullptr) return "";
  std::string text(value, len);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::u16string PlatformFsName(const std::string& type, const std::string& version) {
  if (type == "ntfs") return u"NTFS";
  if (type == "exfat") return u"exFAT";
  if (type == "vfat") return version == "FAT32" ? u"FAT32" : u"FAT";
  return FromUtf8(type);
}

}  // namespace

std::uint32_t SerialFromUuidText(const std::string& uuid) {
  std::uint64_t value = 0;
  for (char c : uuid) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return static_cast<std::uint32_t>(value);
}

std::u16string DecodeLabelBytes(const std::string& bytes) {
  return IsValidUtf8(bytes) ? FromUtf8(bytes) : FromGbk(bytes);
}

bool ProbePlatformVolume(const DeviceHandle& device, Sector64 firstSector, Sector64 sectorCount,
                         PlatformVolumeInfo& out) {
  out = PlatformVolumeInfo{};
  if (!device.IsOpen() || sectorCount == 0) return false;
  blkid_probe probe = blkid_new_probe();
  if (probe == nullptr) return false;
  bool found = false;
  blkid_loff_t offset = static_cast<blkid_loff_t>((device.baseSector + firstSector) * kSectorSize);
  blkid_loff_t size = static_cast<blkid_loff_t>(sectorCount * kSectorSize);
  if (blkid_probe_set_device(probe, device.fd, offset, size) == 0) {
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
        out.fsName = PlatformFsName(type, Lookup(probe, "VERSION"));
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
  return found;
}

}  // namespace kestrum
