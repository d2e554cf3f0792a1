#include "base/catalog.h"
#include "repair/found_partition_file.h"

#include "base/text.h"
#include "repair/record_bytes.h"

namespace kestrum::repair {

using namespace found_file;

bool SerializeFoundPartitions(const FoundPartitionFile& file, std::vector<std::uint8_t>& bytes) {
  bytes.assign(kMagic, kMagic + kMagicSize);
  PutU64(bytes, file.diskSectors);
  if (!PutText(bytes, file.diskPath, kMaxTextBytes) || !PutText(bytes, file.diskDescription, kMaxTextBytes)) {
    return false;
  }
  PutU32(bytes, static_cast<std::uint32_t>(file.found.size()));
  for (const FoundPartition& r : file.found) {
    for (Sector64 v : {r.startSector, r.endSector, r.sectorCount}) PutU64(bytes, v);
    PutU32(bytes, static_cast<std::uint32_t>(r.kind));
    PutU32(bytes, r.dataState);
    PutSector(bytes, r.bootSector);
  }
  return true;
}

bool SaveFoundPartitions(const std::string& path, const FoundPartitionFile& file) {
  std::vector<std::uint8_t> bytes;
  return SerializeFoundPartitions(file, bytes) && ReplaceFileBytes(path, bytes);
}

bool ParseFoundPartitions(ByteView bytes, FoundPartitionFile& out) {
  out = FoundPartitionFile{};
  if (!HasTag(bytes, 0, kMagic)) return false;
  RecordReader in(bytes, kMagicSize);
  out.diskSectors = in.U64();
  in.Text(out.diskPath, kMaxTextBytes);
  in.Text(out.diskDescription, kMaxTextBytes);
  std::uint32_t count = in.Count(3 * kSectorFieldSize + 2 * kFieldSize + kSectorSize);
  for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
    FoundPartition r;
    r.startSector = in.U64();
    r.endSector = in.U64();
    r.sectorCount = in.U64();
    r.kind = static_cast<ScanCategory>(in.U32());
    std::uint32_t state = in.U32();
    in.Sector(r.bootSector);
    // Only what a scan can produce: a damaged file must not place tables. A
    // boot sector was found on the disk, so it starts there (the size it
    // gives may run past the disk's end: the repair's checks say so).
    bool sane = IsFoundPartitionKind(r.kind) && state <= kDataBackup && r.startSector < out.diskSectors &&
                (r.sectorCount == 0 ? r.endSector == 0
                                    : r.endSector >= r.startSector && r.endSector - r.startSector == r.sectorCount - 1);
    if (!sane) {
      out = FoundPartitionFile{};
      return false;
    }
    r.dataState = static_cast<std::uint8_t>(state);
    out.found.push_back(r);
  }
  if (!in.ok()) out = FoundPartitionFile{};
  return in.ok();
}

bool LoadFoundPartitions(const std::string& path, FoundPartitionFile& out, std::u16string& error) {
  out = FoundPartitionFile{};
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    error = Tr(u"无法读取扫描结果文件：") + FromUtf8(path);
    return false;
  }
  if (HasTag(ByteView(bytes), 0, kOldMagic)) {
    // Its sector numbers are 32-bit: read as this form, they would be misplaced.
    error = Tr(u"扫描结果文件是本程序的旧版本写的，无法再使用，请重新扫描（scan --lost-partitions）：") + FromUtf8(path);
    return false;
  }
  if (!ParseFoundPartitions(ByteView(bytes), out)) {
    error = Tr(u"扫描结果文件已损坏或不是本程序的扫描结果文件：") + FromUtf8(path);
    return false;
  }
  return true;
}

bool BelongsTo(const FoundPartitionFile& file, const VolumeDescriptor& disk) {
  return file.diskPath == disk.diskPath && file.diskSectors == disk.sectorCount;
}

}  // namespace kestrum::repair
