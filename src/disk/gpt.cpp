#include "disk/gpt.h"

#include <algorithm>
#include <map>

#include "base/crc32.h"
#include "disk/partition_table.h"

namespace kestrum {

namespace {

constexpr std::uint32_t kMaxSectorSize = 64 * 1024;

bool IsPowerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::uint32_t HeaderCrc(ByteView sector, std::uint32_t headerSize) {
  std::vector<std::uint8_t> copy(sector.begin(), sector.begin() + headerSize);
  WriteLe32(copy, gpt::header::kHeaderCrc, 0);
  return Crc32(copy);
}

bool Inside(std::uint64_t lba, std::uint64_t first, std::uint64_t last) { return lba >= first && lba <= last; }

}  // namespace

bool IsValidSectorSize(std::uint32_t sectorSize) {
  return sectorSize >= kSectorSize && sectorSize <= kMaxSectorSize && IsPowerOfTwo(sectorSize);
}

GptFault ParseGptHeader(ByteView sector, std::uint64_t lba, std::uint64_t diskLbas, GptHeader& out) {
  using namespace gpt::header;
  out = GptHeader{};
  if (!HasTag(sector, kSignature, kSignatureText)) return GptFault::kSignature;
  out.revision = ReadLe32(sector, kRevision);
  if (out.revision >> 16 != kRevision1 >> 16) return GptFault::kRevision;
  out.headerSize = ReadLe32(sector, kHeaderSize);
  if (out.headerSize < kSize || out.headerSize > sector.size()) return GptFault::kHeaderSize;
  if (HeaderCrc(sector, out.headerSize) != ReadLe32(sector, kHeaderCrc)) return GptFault::kHeaderCrc;
  out.myLba = ReadLe64(sector, kMyLba);
  out.alternateLba = ReadLe64(sector, kAlternateLba);
  out.firstUsableLba = ReadLe64(sector, kFirstUsableLba);
  out.lastUsableLba = ReadLe64(sector, kLastUsableLba);
  std::copy_n(sector.begin() + kDiskGuid, out.diskGuid.size(), out.diskGuid.begin());
  out.entriesLba = ReadLe64(sector, kEntriesLba);
  out.entryCount = ReadLe32(sector, kEntryCount);
  out.entrySize = ReadLe32(sector, kEntrySize);
  out.entriesCrc = ReadLe32(sector, kEntriesCrc);
  if (out.myLba != lba || out.alternateLba == lba) return GptFault::kWrongLba;
  if (out.firstUsableLba > out.lastUsableLba || out.lastUsableLba >= diskLbas ||
      Inside(out.myLba, out.firstUsableLba, out.lastUsableLba)) {
    return GptFault::kUsableArea;
  }
  if (out.entrySize < gpt::entry::kMinSize || out.entrySize > gpt::kMaxEntrySize ||
      !IsPowerOfTwo(out.entrySize / gpt::entry::kMinSize) || out.entrySize % gpt::entry::kMinSize != 0) {
    return GptFault::kEntrySize;
  }
  if (out.entryCount == 0 || GptEntryArrayBytes(out) > gpt::kMaxEntryArrayBytes) return GptFault::kEntryCount;
  const std::uint64_t sectors = GptEntryArraySectors(out, static_cast<std::uint32_t>(sector.size()));
  // The array lies inside the disk, off LBA 0, beside its header and
  // outside the partitions' area.
  if (out.entriesLba == 0 || out.entriesLba >= diskLbas || sectors > diskLbas - out.entriesLba) {
    return GptFault::kEntryArrayPlace;
  }
  const std::uint64_t arrayLast = out.entriesLba + sectors - 1;
  if (Inside(out.myLba, out.entriesLba, arrayLast) ||
      (out.entriesLba <= out.lastUsableLba && arrayLast >= out.firstUsableLba)) {
    return GptFault::kEntryArrayPlace;
  }
  return GptFault::kNone;
}

std::uint64_t GptEntryArrayBytes(const GptHeader& header) {
  return std::uint64_t{header.entryCount} * header.entrySize;
}

std::uint64_t GptEntryArraySectors(const GptHeader& header, std::uint32_t sectorSize) {
  if (sectorSize == 0) return 0;
  return (GptEntryArrayBytes(header) + sectorSize - 1) / sectorSize;
}

GptFault ParseGptEntries(ByteView array, const GptHeader& header, std::uint64_t diskLbas,
                         std::vector<GptPartition>& out, std::vector<GptEntryProblem>& problems) {
  using namespace gpt::entry;
  out.clear();
  problems.clear();
  const std::uint64_t bytes = GptEntryArrayBytes(header);
  if (bytes == 0 || bytes > array.size()) return GptFault::kEntryCount;
  if (Crc32(array.first(bytes)) != header.entriesCrc) return GptFault::kEntriesCrc;
  // Kept extents by first LBA: disjoint, so a new one need only be held
  // against its two neighbours.
  std::map<std::uint64_t, std::pair<std::uint64_t, std::uint32_t>> kept;
  for (std::uint32_t i = 0; i < header.entryCount; ++i) {
    ByteView e = array.subspan(std::size_t{i} * header.entrySize, header.entrySize);
    GptPartition p;
    std::copy_n(e.begin() + kTypeGuid, p.type.size(), p.type.begin());
    if (IsZeroGuid(p.type)) continue;
    p.index = i + 1;
    std::copy_n(e.begin() + kUniqueGuid, p.unique.size(), p.unique.begin());
    p.firstLba = ReadLe64(e, kFirstLba);
    p.lastLba = ReadLe64(e, kLastLba);
    p.attributes = ReadLe64(e, kAttributes);
    for (std::size_t u = 0; u < kNameUnits; ++u) {
      char16_t c = ReadLe16(e, kName + 2 * u);
      if (c == 0) break;
      p.name.push_back(c);
    }
    if (p.lastLba < p.firstLba) {
      problems.push_back({p.index, GptEntryFault::kReversed, 0});
      continue;
    }
    if (p.lastLba >= diskLbas) {
      problems.push_back({p.index, GptEntryFault::kPastDiskEnd, 0});
      continue;
    }
    if (p.firstLba < header.firstUsableLba || p.lastLba > header.lastUsableLba) {
      problems.push_back({p.index, GptEntryFault::kOutsideUsable, 0});
      continue;
    }
    auto next = kept.lower_bound(p.firstLba);
    if (next != kept.end() && next->first <= p.lastLba) {
      problems.push_back({p.index, GptEntryFault::kOverlap, next->second.second});
      continue;
    }
    if (next != kept.begin()) {
      auto before = std::prev(next);
      if (before->second.first >= p.firstLba) {
        problems.push_back({p.index, GptEntryFault::kOverlap, before->second.second});
        continue;
      }
    }
    kept.emplace(p.firstLba, std::make_pair(p.lastLba, p.index));
    out.push_back(std::move(p));
  }
  return GptFault::kNone;
}

bool ReadLogicalSectors(const DeviceHandle& disk, std::uint32_t sectorSize, std::uint64_t lba,
                        std::uint64_t count, std::vector<std::uint8_t>& out) {
  if (!IsValidSectorSize(sectorSize) || count == 0 ||
      count > (gpt::kMaxEntryArrayBytes + kMaxSectorSize) / sectorSize) {
    return false;
  }
  const std::uint64_t units = sectorSize / kSectorSize;
  if (lba > UINT64_MAX / units) return false;
  out.assign(count * sectorSize, 0);
  return ReadSectors(disk, out, lba * units, static_cast<std::uint32_t>(count * units));
}

namespace {

// The header at `lba` and its array; kNone with `out` filled when both hold.
GptFault ReadOneGpt(const DeviceHandle& disk, std::uint32_t sectorSize, std::uint64_t diskLbas,
                    std::uint64_t lba, GptTable& out, bool* hasSignature) {
  std::vector<std::uint8_t> sector;
  if (!ReadLogicalSectors(disk, sectorSize, lba, 1, sector)) return GptFault::kUnreadable;
  if (hasSignature != nullptr) *hasSignature = HasTag(ByteView(sector), 0, gpt::header::kSignatureText);
  if (GptFault f = ParseGptHeader(sector, lba, diskLbas, out.header); f != GptFault::kNone) return f;
  if (!ReadLogicalSectors(disk, sectorSize, out.header.entriesLba, GptEntryArraySectors(out.header, sectorSize),
                          out.entryArray)) {
    return GptFault::kUnreadable;
  }
  return ParseGptEntries(out.entryArray, out.header, diskLbas, out.partitions, out.entryProblems);
}

}  // namespace

GptRead ReadGpt(const DeviceHandle& disk, std::uint32_t sectorSize, std::uint64_t diskLbas, GptTable& out) {
  out = GptTable{};
  if (!IsValidSectorSize(sectorSize) || diskLbas < 3) return GptRead::kAbsent;
  bool primarySigned = false;
  GptTable primary;
  out.primaryFault = ReadOneGpt(disk, sectorSize, diskLbas, gpt::kPrimaryHeaderLba, primary, &primarySigned);
  if (out.primaryFault == GptFault::kNone) {
    out = std::move(primary);
    return GptRead::kPrimary;
  }
  // The backup at the disk's end, or where the primary (when it is at least
  // signed) says its twin lies: a disk that grew keeps it further in.
  std::vector<std::uint64_t> places = {diskLbas - 1};
  std::vector<std::uint8_t> sector;
  if (primarySigned && ReadLogicalSectors(disk, sectorSize, gpt::kPrimaryHeaderLba, 1, sector)) {
    std::uint64_t alternate = ReadLe64(sector, gpt::header::kAlternateLba);
    if (alternate > gpt::kPrimaryHeaderLba && alternate < diskLbas - 1) places.push_back(alternate);
  }
  bool anySigned = primarySigned;
  out.backupFault = GptFault::kSignature;
  for (std::uint64_t lba : places) {
    GptTable backup;
    bool signedHere = false;
    GptFault f = ReadOneGpt(disk, sectorSize, diskLbas, lba, backup, &signedHere);
    anySigned = anySigned || signedHere;
    if (f == GptFault::kNone) {
      backup.fromBackup = true;
      backup.primaryFault = out.primaryFault;
      out = std::move(backup);
      return GptRead::kBackup;
    }
    if (signedHere || out.backupFault == GptFault::kSignature) out.backupFault = f;
  }
  return anySigned ? GptRead::kDamaged : GptRead::kAbsent;
}

bool PlanGpt(std::uint64_t diskLbas, std::uint32_t sectorSize, std::size_t partitions, GptPlan& out) {
  out = GptPlan{};
  if (!IsValidSectorSize(sectorSize)) return false;
  const std::uint32_t perSector = sectorSize / gpt::kDefaultEntrySize;
  std::uint64_t count = std::max<std::uint64_t>(gpt::kDefaultEntryCount, partitions);
  count = (count + perSector - 1) / perSector * perSector;
  if (count * gpt::kDefaultEntrySize > gpt::kMaxEntryArrayBytes) return false;
  out.sectorSize = sectorSize;
  out.diskLbas = diskLbas;
  out.entryCount = static_cast<std::uint32_t>(count);
  out.arraySectors = count / perSector;
  // LBA 0, the header and the array at each end, and one usable sector.
  if (diskLbas < 2 * (1 + out.arraySectors) + 2) return false;
  out.primaryEntriesLba = gpt::kPrimaryHeaderLba + 1;
  out.firstUsableLba = out.primaryEntriesLba + out.arraySectors;
  out.backupHeaderLba = diskLbas - 1;
  out.backupEntriesLba = out.backupHeaderLba - out.arraySectors;
  out.lastUsableLba = out.backupEntriesLba - 1;
  return true;
}

namespace {

std::vector<std::uint8_t> EncodeHeader(const GptHeader& h, std::uint32_t sectorSize) {
  using namespace gpt::header;
  std::vector<std::uint8_t> s(sectorSize, 0);
  std::copy_n(kSignatureText, 8, s.begin());
  WriteLe32(s, kRevision, kRevision1);
  WriteLe32(s, kHeaderSize, kSize);
  WriteLe64(s, kMyLba, h.myLba);
  WriteLe64(s, kAlternateLba, h.alternateLba);
  WriteLe64(s, kFirstUsableLba, h.firstUsableLba);
  WriteLe64(s, kLastUsableLba, h.lastUsableLba);
  std::copy(h.diskGuid.begin(), h.diskGuid.end(), s.begin() + kDiskGuid);
  WriteLe64(s, kEntriesLba, h.entriesLba);
  WriteLe32(s, kEntryCount, h.entryCount);
  WriteLe32(s, kEntrySize, h.entrySize);
  WriteLe32(s, kEntriesCrc, h.entriesCrc);
  WriteLe32(s, kHeaderCrc, Crc32(ByteView(s).first(kSize)));
  return s;
}

std::vector<std::uint8_t> MakeHeader(const GptPlan& plan, const Guid& diskGuid, bool backup,
                                     std::uint32_t entriesCrc) {
  GptHeader h;
  h.myLba = backup ? plan.backupHeaderLba : gpt::kPrimaryHeaderLba;
  h.alternateLba = backup ? gpt::kPrimaryHeaderLba : plan.backupHeaderLba;
  h.firstUsableLba = plan.firstUsableLba;
  h.lastUsableLba = plan.lastUsableLba;
  h.diskGuid = diskGuid;
  h.entriesLba = backup ? plan.backupEntriesLba : plan.primaryEntriesLba;
  h.entryCount = plan.entryCount;
  h.entrySize = gpt::kDefaultEntrySize;
  h.entriesCrc = entriesCrc;
  return EncodeHeader(h, plan.sectorSize);
}

}  // namespace

std::vector<std::uint8_t> ProtectiveMbr(std::uint64_t diskLbas, std::uint32_t sectorSize,
                                        const std::vector<std::uint8_t>& old) {
  std::vector<std::uint8_t> s(sectorSize, 0);
  std::copy_n(old.begin(), std::min(old.size(), s.size()), s.begin());
  std::fill(s.begin() + mbr::kFirstEntry, s.begin() + mbr::kSignature, std::uint8_t{0});
  const std::size_t e = mbr::kFirstEntry;
  // Start CHS 0/0/2, end CHS the largest there is, as the UEFI rule asks.
  s[e + 1] = 0x00;
  s[e + 2] = 0x02;
  s[e + 3] = 0x00;
  s[e + mbr::kType] = mbr::kTypeGptProtective;
  s[e + 5] = 0xFF;
  s[e + 6] = 0xFF;
  s[e + 7] = 0xFF;
  WriteLe32(s, e + mbr::kStartLba, 1);
  WriteLe32(s, e + mbr::kSectorCount,
            static_cast<std::uint32_t>(std::min<std::uint64_t>(diskLbas - 1, 0xFFFFFFFFu)));
  s[mbr::kSignature] = 0x55;
  s[mbr::kSignature + 1] = 0xAA;
  return s;
}


GptBuildFault BuildGpt(const GptBuildRequest& request, std::vector<GptPiece>& out, std::size_t* badPartition) {
  out.clear();
  GptPlan plan;
  if (!PlanGpt(request.diskLbas, request.sectorSize, request.partitions.size(), plan)) return GptBuildFault::kPlan;
  auto fail = [&](GptBuildFault f, std::size_t i) {
    if (badPartition != nullptr) *badPartition = i;
    return f;
  };
  if (IsZeroGuid(request.diskGuid)) return fail(GptBuildFault::kNoGuid, 0);
  std::vector<std::uint8_t> array(std::size_t{plan.arraySectors} * plan.sectorSize, 0);
  for (std::size_t i = 0; i < request.partitions.size(); ++i) {
    const GptNewPartition& p = request.partitions[i];
    if (p.lastLba < p.firstLba) return fail(GptBuildFault::kReversed, i);
    if (p.firstLba < plan.firstUsableLba || p.lastLba > plan.lastUsableLba) {
      return fail(GptBuildFault::kOutsideUsable, i);
    }
    if (i > 0 && request.partitions[i - 1].lastLba >= p.firstLba) return fail(GptBuildFault::kOverlap, i);
    if (IsZeroGuid(p.type) || IsZeroGuid(p.unique)) return fail(GptBuildFault::kNoGuid, i);
    std::span<std::uint8_t> e = std::span<std::uint8_t>(array).subspan(i * gpt::kDefaultEntrySize,
                                                                       gpt::kDefaultEntrySize);
    std::copy(p.type.begin(), p.type.end(), e.begin() + gpt::entry::kTypeGuid);
    std::copy(p.unique.begin(), p.unique.end(), e.begin() + gpt::entry::kUniqueGuid);
    WriteLe64(e, gpt::entry::kFirstLba, p.firstLba);
    WriteLe64(e, gpt::entry::kLastLba, p.lastLba);
  }
  const std::uint32_t entriesCrc =
      Crc32(ByteView(array).first(std::size_t{plan.entryCount} * gpt::kDefaultEntrySize));
  out.push_back({0, ProtectiveMbr(plan.diskLbas, plan.sectorSize, request.oldSector0)});
  out.push_back({gpt::kPrimaryHeaderLba, MakeHeader(plan, request.diskGuid, false, entriesCrc)});
  out.push_back({plan.primaryEntriesLba, array});
  out.push_back({plan.backupEntriesLba, array});
  out.push_back({plan.backupHeaderLba, MakeHeader(plan, request.diskGuid, true, entriesCrc)});
  return GptBuildFault::kNone;
}

bool HasProtectiveMbr(ByteView sector0) {
  if (!HasBootSignature(sector0)) return false;
  for (const TableEntry& e : ParseTableEntries(sector0)) {
    if (e.type == mbr::kTypeGptProtective) return true;
  }
  return false;
}

GptBuildFault BuildPrimaryFromBackup(const GptTable& backup, std::uint32_t sectorSize, std::uint64_t diskLbas,
                                     const std::vector<std::uint8_t>& oldSector0, std::vector<GptPiece>& out) {
  out.clear();
  const GptHeader& b = backup.header;
  const std::uint64_t arraySectors = GptEntryArraySectors(b, sectorSize);
  const std::uint64_t entriesLba = gpt::kPrimaryHeaderLba + 1;
  if (!IsValidSectorSize(sectorSize) || arraySectors == 0 || backup.entryArray.size() != arraySectors * sectorSize ||
      entriesLba + arraySectors > b.firstUsableLba || diskLbas <= b.myLba) {
    return GptBuildFault::kPlan;
  }
  if (!HasProtectiveMbr(oldSector0)) {
    out.push_back({0, ProtectiveMbr(diskLbas, sectorSize, oldSector0)});
  }
  GptHeader primary = b;
  primary.myLba = gpt::kPrimaryHeaderLba;
  primary.alternateLba = b.myLba;
  primary.entriesLba = entriesLba;
  out.push_back({gpt::kPrimaryHeaderLba, EncodeHeader(primary, sectorSize)});
  out.push_back({entriesLba, backup.entryArray});
  return GptBuildFault::kNone;
}

}  // namespace kestrum
