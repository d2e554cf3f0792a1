#include "repair/found_partition_file.h"

#include "repair/record_bytes.h"

namespace kestrum::repair {

using namespace found_file;

bool SerializeFoundPartitions(const FoundPartitionFile& file, std::vector<std::uint8_t>& bytes) {
  bytes.assign(kMagic, kMagic + kMagicSize);
  PutU32(bytes, file.diskSectors);
  if (!PutText(bytes, file.diskPath, kMaxTextBytes) || !PutText(bytes, file.diskDescription, kMaxTextBytes)) {
    return false;
  }
  PutU32(bytes, static_cast<std::uint32_t>(file.found.size()));
  for (const FoundPartition& r : file.found) {
    for (std::uint32_t v : {r.startSector, r.endSector, r.sectorCount, static_cast<std::uint32_t>(r.kind),
                            std::uint32_t{r.dataState}}) {
      PutU32(bytes, v);
    }
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
  out.diskSectors = in.U32();
  in.Text(out.diskPath, kMaxTextBytes);
  in.Text(out.diskDescription, kMaxTextBytes);
  std::uint32_t count = in.Count(5 * kFieldSize + kSectorSize);
  for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
    FoundPartition r;
    r.startSector = in.U32();
    r.endSector = in.U32();
    r.sectorCount = in.U32();
    r.kind = static_cast<ScanCategory>(in.U32());
    std::uint32_t state = in.U32();
    in.Sector(r.bootSector);
    // Only what a scan can produce: a damaged file must not place tables.
    bool sane = IsFoundPartitionKind(r.kind) && state <= kDataBackup &&
                (r.sectorCount == 0 ? r.endSector == 0
                                    : std::uint64_t{r.startSector} + r.sectorCount - 1 == r.endSector);
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

bool LoadFoundPartitions(const std::string& path, FoundPartitionFile& out) {
  out = FoundPartitionFile{};
  std::vector<std::uint8_t> bytes;
  return ReadFileBytes(path, bytes) && ParseFoundPartitions(ByteView(bytes), out);
}

bool BelongsTo(const FoundPartitionFile& file, const VolumeDescriptor& disk) {
  return file.diskPath == disk.diskPath && file.diskSectors == disk.sectorCount;
}

}  // namespace kestrum::repair
