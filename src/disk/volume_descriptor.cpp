#include "disk/volume_descriptor.h"

#include "base/byte_order.h"

namespace kestrum {

void ClassifyFsName(const std::u16string& fsName, VolumeDescriptor& volume) {
  struct Known {
    const char16_t* name;
    FsKind kind;
    std::uint8_t type;
  };
  static constexpr Known kKnown[] = {
      {u"NTFS", kFsNtfs, 7}, {u"FAT", kFsFat16, 6}, {u"FAT32", kFsFat32, 11}, {u"exFAT", kFsExfat, 7},
      {u"BitLocker", kFsBitLocker, 7}};
  volume.fsKind = kFsUnknown;
  volume.partitionType = 0;
  for (const Known& k : kKnown) {
    if (fsName == k.name) {
      volume.fsKind = k.kind;
      volume.partitionType = k.type;
      return;
    }
  }
}

namespace {

constexpr std::size_t kFat16SerialOffset = 0x27;
constexpr std::size_t kFat32SerialOffset = 0x43;
constexpr std::size_t kExfatSerialOffset = 0x64;
constexpr std::size_t kNtfsSerialOffset = 0x48;

}  // namespace

void SerialFromBootSector(VolumeDescriptor& volume) {
  ByteView boot(volume.bootSector);
  std::size_t offset = 0;
  switch (volume.partitionType) {
    case 4: case 6: case 14: case 20: case 22: case 30: offset = kFat16SerialOffset; break;
    case 11: case 12: case 27: case 28: offset = kFat32SerialOffset; break;
    case 7: offset = HasTag(boot, 3, "EXFAT") ? kExfatSerialOffset : kNtfsSerialOffset; break;
    case 23: offset = kNtfsSerialOffset; break;
    default: volume.readerState.serial = 0; return;
  }
  volume.readerState.serial = ReadLe32(boot, offset);
}

const char* FoundByName(FoundBy how) {
  switch (how) {
    case FoundBy::kSignatures: return "signatures";
    case FoundBy::kPartitionTable: return "partitionTable";
    case FoundBy::kBootSector: return "bootSector";
    case FoundBy::kBackupBootSector: return "backupBootSector";
    case FoundBy::kMftRun: return "mftRun";
    case FoundBy::kFatDirectories: return "fatDirectories";
    case FoundBy::kExfatEntries: return "exfatEntries";
    case FoundBy::kMftRecords: return "mftRecords";
    case FoundBy::kNotScanned: break;
  }
  return "";
}

std::u16string FsKindName(FsKind kind) {
  switch (kind) {
    case kFsFat16: return u"FAT16";
    case kFsFat32: return u"FAT32";
    case kFsNtfs: return u"NTFS";
    case kFsExfat: return u"EXFAT";
    case kFsBitLocker: return u"BitLocker";
    default: return u" ";
  }
}

}  // namespace kestrum
