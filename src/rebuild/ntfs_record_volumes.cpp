#include "rebuild/ntfs_record_volumes.h"

#include <algorithm>
#include <array>

#include "fs/ntfs/file_record.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_index.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/run_list.h"
#include "fs/tree/node_array.h"

namespace kestrum {

using namespace ntfs;

namespace {

constexpr std::uint32_t kMaxClusterBytes = 65536;
constexpr std::uint32_t kMinFilesForClusterSize = 25;
constexpr std::uint32_t kMinSectorsPerCluster = 4;
constexpr std::size_t kMinChildren = 3;
constexpr std::size_t kMaxChildren = 30;
constexpr std::uint8_t kFileInUse = finding_flags::kInUse;
constexpr std::uint8_t kDirectoryInUse = finding_flags::kInUse | finding_flags::kDirectory;
constexpr std::uint8_t kTypeBits = finding_flags::kInUse | finding_flags::kDirectory;

void AddRunRanges(const std::vector<RunEntry>& runs, std::uint32_t spc, std::vector<SectorRange>& out) {
  for (const RunEntry& run : runs) {
    if (run.sparse || run.length == 0) continue;
    out.push_back({run.startSector, Sector64{run.startSector} + RunSectors(run, spc) - 1});
  }
}

// The runs of the file whose record lies at `sector`, else at `mirror`.
bool RunsAtEither(const VolumeDescriptor& volume, const DeviceHandle& device, Sector64 sector, Sector64 mirror,
                  std::vector<RunEntry>& runs) {
  return ReadMftRuns(volume, device, sector, runs) || ReadMftRuns(volume, device, mirror, runs);
}

// The record numbers an INDX block's entries refer to.
std::vector<std::uint32_t> IndexReferences(ByteView block) {
  std::vector<std::uint32_t> refs;
  const std::size_t first = indx::kEntriesBase + ReadLe32(block, indx::kEntriesOffset);
  CollectIndexEntries(block, first, refs);
  return refs;
}

// The first INDX finding of directory `d` whose entries name its children.
const ScanFinding* MatchIndexBlock(const ScanFinding& d, const std::vector<std::uint32_t>& children,
                                   const RecordRefs& indexBlocks, std::uint32_t spc, const DeviceHandle& device) {
  std::vector<std::uint8_t> block(std::size_t{spc} * kSectorSize);
  for (const ScanFinding* x : indexBlocks) {
    if (x->wordA != d.wordB) continue;
    if (!ReadSectors(device, block, x->sector, spc) || !HasTag(ByteView(block), indx::kMagic, "INDX")) continue;
    const std::vector<std::uint32_t> refs = IndexReferences(block);
    std::size_t matches = 0;
    for (std::uint32_t child : children) matches += std::count(refs.begin(), refs.end(), child);
    if (matches > 2 && matches >= children.size()) return x;
  }
  return nullptr;
}

// The absolute cluster of the directory's index allocation, from its own record.
std::optional<std::uint64_t> IndexAllocationCluster(const ScanFinding& d, const DeviceHandle& device) {
  std::array<std::uint8_t, kRecordSize> record{};
  ReadRecords(device, d.sector, 1, kRecordSize, record);
  auto allocation = FindAttribute(record, attr::kIndexAllocation);
  if (!allocation || allocation->IsResident()) return std::nullopt;
  std::vector<RunEntry> runs;
  ByteView runList = RunListBytes(*allocation);
  if (runList.empty() || !DecodeRunList(runList, runs) || runs.front().delta < 0) return std::nullopt;
  return static_cast<std::uint64_t>(runs.front().delta);
}

}  // namespace

std::vector<SectorRange> KnownMftRanges(const VolumeList& volumes, const DeviceHandle& device) {
  std::vector<SectorRange> ranges;
  for (const VolumeDescriptor& v : volumes) {
    if (v.fsKind != kFsNtfs) continue;
    const std::uint32_t spc = SectorsPerCluster(v);
    if (spc == 0) continue;
    std::vector<RunEntry> runs;
    if (RunsAtEither(v, device, MftSector(v), MirrorSector(v), runs)) AddRunRanges(runs, spc, ranges);
    runs.clear();
    if (RunsAtEither(v, device, MftSector(v) + RecordSectorsOf(v), MirrorSector(v) + RecordSectorsOf(v), runs)) {
      AddRunRanges(runs, spc, ranges);
    }
  }
  return ranges;
}

RecordRefs UnclaimedRecords(const std::vector<ScanFinding>& findings, const std::vector<SectorRange>& known) {
  RecordRefs records;
  for (const ScanFinding& f : findings) {
    if (f.category != kCategoryFileRecord) continue;
    const bool claimed = std::any_of(known.begin(), known.end(),
                                     [&](const SectorRange& r) { return f.sector >= r.first && f.sector <= r.last; });
    if (!claimed) records.push_back(&f);
  }
  return records;
}

RecordRefs NextRecordGroup(const RecordRefs& records, std::size_t& position) {
  RecordRefs group{records[position]};
  while (position + 1 < records.size()) {
    const ScanFinding& current = *group.back();
    const ScanFinding& next = *records[position + 1];
    ++position;
    if (next.wordB <= current.wordB ||
        std::uint64_t{next.sector} - current.sector != std::uint64_t{kRecordSectors} * (next.wordB - current.wordB)) {
      return group;
    }
    group.push_back(&next);
  }
  ++position;
  return group;
}

std::optional<std::uint32_t> EstimateNtfsClusterSize(const RecordRefs& group) {
  std::vector<std::uint32_t> sizes;
  for (const ScanFinding* r : group) {
    if ((r->flags & kTypeBits) != kFileInUse || r->dataLength == 0) continue;
    const auto b = static_cast<std::uint32_t>(r->allocatedSize);
    if (b >= kSectorSize && b % kSectorSize == 0) sizes.push_back(b);
  }
  if (sizes.size() < kMinFilesForClusterSize) return std::nullopt;
  const std::uint32_t m = std::min(kMaxClusterBytes, *std::min_element(sizes.begin(), sizes.end()));
  if (std::any_of(sizes.begin(), sizes.end(), [m](std::uint32_t b) { return b % m != 0; })) return std::nullopt;
  return m / kSectorSize;
}

std::optional<NtfsStart> FindNtfsVolumeStart(const RecordRefs& group, const RecordRefs& indexBlocks,
                                             const DeviceHandle& device) {
  const std::optional<std::uint32_t> spc = EstimateNtfsClusterSize(group);
  if (!spc || *spc < kMinSectorsPerCluster) return std::nullopt;
  for (const ScanFinding* d : group) {
    if ((d->flags & kTypeBits) != kDirectoryInUse || (d->flags & finding_flags::kHasIndexAllocation) == 0) continue;
    std::vector<std::uint32_t> children;
    for (const ScanFinding* r : group) {
      if ((r->flags & finding_flags::kInUse) != 0 && r->wordA == d->wordB && r != d) children.push_back(r->wordB);
    }
    if (children.size() < kMinChildren || children.size() > kMaxChildren) continue;
    const ScanFinding* x = MatchIndexBlock(*d, children, indexBlocks, *spc, device);
    if (x == nullptr) continue;
    const std::optional<std::uint64_t> cluster = IndexAllocationCluster(*d, device);
    if (!cluster || *cluster > UINT64_MAX / *spc) continue;
    const std::uint64_t offset = *cluster * *spc;
    if (x->sector >= offset) return NtfsStart{x->sector - offset, *spc};
  }
  return std::nullopt;
}

void BuildNtfsFromGroup(const RecordRefs& group, const NtfsStart& start, const DeviceHandle& device,
                        const std::u16string& diskPath, VolumeList& volumes) {
  VolumeDescriptor v;
  v.entryClass = 2;
  v.partitionType = 7;
  v.fsKind = kFsNtfs;
  v.startSector = start.start;
  v.sectorCount = kUnknownVolumeSectors;
  v.diskPath = diskPath;
  v.foundBy = FoundBy::kMftRecords;
  v.bootSector[boot::kSectorsPerCluster] = static_cast<std::uint8_t>(start.sectorsPerCluster);
  WriteLe64(v.bootSector, boot::kTotalSectors, kUnknownVolumeSectors);

  // Slots by record number, one more for LostFile. No MFT holds more records
  // than the disk has room for, whatever a damaged record number says.
  const std::uint64_t records = std::uint64_t{group.back()->wordB} + 1;
  const std::uint64_t room = device.sectorLimit != 0 ? device.sectorLimit / kRecordSectors : records;
  if (records <= kRootNodeId || records > room) return;
  const auto r = static_cast<std::uint32_t>(records);
  v.readerState.nodes = std::make_shared<NodeArray>();
  // The group's records lie one after the other from its first: one stretch
  // holds them all, and a record's place is its distance from the first.
  const Sector64 first = group.front()->sector;
  const std::uint64_t stretch = group.back()->sector + kRecordSectors - first;
  MftRecordMap places;
  places.runs.push_back({0, first, (stretch + start.sectorsPerCluster - 1) / start.sectorsPerCluster, false});
  v.readerState.mftRecords = std::make_shared<const MftRecordMap>(std::move(places));
  NodeVector& nodes = v.readerState.nodes->nodes;
  nodes.resize(std::size_t{r} + 1);
  std::array<std::uint8_t, kRecordSize> record{};
  FileNode node;
  for (const ScanFinding* f : group) {
    if (!ReadRecords(device, f->sector, 1, kRecordSize, record)) continue;
    if (!ParseFileRecord(record, node, v.readerState.nodes->strings) || node.name.empty() || node.id >= r) continue;
    SetResidentRecordPlace(node, static_cast<std::uint32_t>((f->sector - first) / kRecordSectors));
    nodes[node.id] = std::move(node);
  }
  PlaceLostFileNode(nodes, r);
  LinkNodes(nodes);
  volumes.push_back(std::move(v));
}

void RebuildNtfsFromFindings(const std::vector<ScanFinding>& findings, const DeviceHandle& device,
                             const std::u16string& diskPath, VolumeList& volumes) {
  RecordRefs indexBlocks;
  for (const ScanFinding& f : findings) {
    if (f.category == kCategoryIndexRecord) indexBlocks.push_back(&f);
  }
  const RecordRefs records = UnclaimedRecords(findings, KnownMftRanges(volumes, device));
  for (std::size_t p = 0; p < records.size();) {
    const RecordRefs group = NextRecordGroup(records, p);
    if (group.size() < kMinGroupRecords) continue;
    if (auto start = FindNtfsVolumeStart(group, indexBlocks, device)) {
      BuildNtfsFromGroup(group, *start, device, diskPath, volumes);
    }
  }
}

}  // namespace kestrum
