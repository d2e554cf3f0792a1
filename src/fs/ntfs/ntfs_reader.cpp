#include "fs/ntfs/ntfs_reader.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "run/worker_state.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/ntfs_recovery.h"
#include "fs/tree/node_array.h"

namespace kestrum {

using namespace ntfs;

namespace {

// The MFT is read 256 KiB at a time: large enough that a read costs little
// beside parsing its 256 records, small enough to stay out of the peak
// memory of a listing.
constexpr std::uint32_t kMftReadSectors = 512;

void CountNode(const FileNode& node, ParseStatus& counts) {
  switch (node.type) {
    case kFile: ++counts.files; break;
    case kFolder: ++counts.folders; break;
    case kDeletedFile: ++counts.deletedFiles; break;
    case kDeletedFolder: ++counts.deletedFolders; break;
    default: break;
  }
}

// Reads the records of the MFT's runs in chunks, keeping every named record
// in the slot of its own number and its named data streams in `streams`.
// Only the first `recordCount` record places of the runs are read, and
// nothing at or past the device's end; records with a sector that would not
// read are skipped and counted in `unreadable`. False when the run state asks
// to stop.
bool ReadFileRecords(const DeviceHandle& device, const VolumeDescriptor& volume,
                     const std::vector<RunEntry>& runs, std::uint32_t recordCount,
                     NodeArray& array, std::vector<FileNode>& streams, std::uint32_t& unreadable) {
  NodeVector& nodes = array.nodes;
  const std::uint32_t spc = SectorsPerCluster(volume);
  StatusMessage status;
  status.kind = StatusKind::kParse;
  status.parse.recordsToRead = recordCount;
  std::vector<std::uint8_t> buffer(std::size_t{kMftReadSectors} * kSectorSize);
  const std::uint32_t recordBytes = RecordBytesOf(volume);
  const std::uint32_t recordSectors = recordBytes / kSectorSize;
  std::uint64_t placesLeft = recordCount;
  FileNode node;

  for (const RunEntry& run : runs) {
    if (placesLeft == 0) break;
    std::uint64_t places = std::min(RunSectors(run, spc) / recordSectors, placesLeft);
    // The place of the run's first record, counted as MapRecordToSector does.
    const auto runPlace = static_cast<std::uint32_t>(recordCount - placesLeft);
    placesLeft -= places;
    if (run.sparse) continue;  // a hole holds no records
    const std::uint64_t sectors = places * recordSectors;
    for (std::uint64_t done = 0; done < sectors;) {
      if (AbortRequested()) return false;
      Sector64 first = Sector64{run.startSector} + done;
      std::uint64_t chunk = std::min<std::uint64_t>(kMftReadSectors, sectors - done);
      done += chunk;
      if (device.sectorLimit != 0) {
        if (first >= device.sectorLimit) break;  // the rest of the run lies off the device
        chunk = std::min<std::uint64_t>(chunk, device.sectorLimit - first);
      }
      auto records = static_cast<std::uint32_t>(chunk / recordSectors);
      if (records == 0) continue;
      status.parse.recordsRead += records;
      ReadRecords(device, first, records, recordBytes, buffer, &unreadable);
      const auto chunkPlace = static_cast<std::uint32_t>(runPlace + (first - run.startSector) / recordSectors);
      for (std::uint32_t i = 0; i < records; ++i) {
        ByteView record(buffer.data() + std::size_t{i} * recordBytes, recordBytes);
        if (!ParseFileRecord(record, node, array.strings) || node.name.empty()) continue;
        if (node.id >= recordCount) continue;
        SetResidentRecordPlace(node, chunkPlace + i);
        CountNode(node, status.parse);
        const std::size_t streamsBefore = streams.size();
        AppendNamedStreams(record, node, streams, array.strings);
        for (std::size_t k = streamsBefore; k < streams.size(); ++k) {
          SetResidentRecordPlace(streams[k], chunkPlace + i);
          CountNode(streams[k], status.parse);
        }
        nodes[node.id] = std::move(node);
      }
      // Once a chunk: the display samples the counts far less often than
      // records are parsed.
      PostStatus(status);
    }
  }
  return true;
}

// Whether the record in the parent's slot is still the folder the node's
// reference names (0 on either side: not known, as for the root the reader
// places itself). A folder's sequence number goes up by one when it is
// deleted, so a deleted folder one above the reference is still the same.
bool IsSameParent(const FileNode& parent, std::uint16_t referenced) {
  if (!parent.IsFolder()) return false;
  if (referenced == 0 || parent.sequence == 0 || parent.sequence == referenced) return true;
  return parent.IsDeleted() && parent.sequence == static_cast<std::uint16_t>(referenced + 1);
}

// A node whose parent's record now holds a file, or another folder, goes
// under LostFile (the last slot) rather than under whatever took the record.
void DetachFromReusedParents(std::span<FileNode> nodes) {
  const auto lostFile = static_cast<std::uint32_t>(nodes.size() - 1);
  for (std::uint32_t i = 0; i < lostFile; ++i) {
    FileNode& node = nodes[i];
    if (!IsUsedSlot(node, i) || i == kRootNodeId) continue;
    const std::uint32_t parent = node.parentId;
    if (parent >= lostFile || parent == i || !IsUsedSlot(nodes[parent], parent)) continue;
    if (!IsSameParent(nodes[parent], node.parentSequence)) node.parentId = lostFile;
  }
}

// Gives every deleted file and stream its recovery chance from $Bitmap.
void RateDeletedFiles(const DeviceHandle& device, const VolumeDescriptor& volume, std::span<FileNode> nodes,
                      std::vector<FileNode>& streams) {
  if (nodes.size() <= kBitmapRecord || nodes[kBitmapRecord].name != u"$Bitmap") return;
  const std::vector<std::uint8_t> bitmap = ReadNtfsBitmap(device, volume, nodes[kBitmapRecord]);
  const std::uint32_t clusterBytes = SectorsPerCluster(volume) * kSectorSize;
  for (std::span<FileNode> list : {nodes, std::span<FileNode>(streams)}) {
    for (FileNode& node : list) {
      if (node.type == kDeletedFile) node.recovery = NtfsDeletedChance(node, bitmap, clusterBytes);
    }
  }
}

}  // namespace

bool ReadNtfsVolume(VolumeDescriptor& volume) {
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  std::vector<RunEntry> runs;
  std::uint32_t recordCount = 0;
  if (FindMftRuns(volume, device, runs)) recordCount = CountMftRecords(runs, volume);
  if (volume.sectorCount == 0) {
    // A descriptor without a size: the disk's own end bounds the volume.
    std::uint64_t diskSectors = QueryDeviceBytes(device.fd) / kSectorSize;
    std::uint64_t room = diskSectors > volume.startSector
                             ? (diskSectors - volume.startSector) / RecordSectorsOf(volume) : 0;
    recordCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(recordCount, room));
  }
  // The root sits at 5 and LostFile after the last record.
  if (recordCount <= kRootNodeId) {
    CloseDevice(device);
    return false;
  }

  volume.readerState.nodes = std::make_shared<NodeArray>();
  volume.readerState.mftRecords = std::make_shared<const MftRecordMap>(MftRecordMap{runs});
  NodeVector& nodes = NodesOf(volume).nodes;
  // Named streams are appended after the records once they are read; the
  // array grows in place for them.
  nodes.resize(std::size_t{recordCount} + 1);
  std::vector<FileNode> streams;
  ReaderLoss& loss = volume.readerState.loss;
  loss = ReaderLoss{};
  bool complete = ReadFileRecords(device, volume, runs, recordCount, NodesOf(volume), streams, loss.records);
  if (complete && !AbortRequested()) RateDeletedFiles(device, volume, nodes, streams);
  loss.sectors = device.health->Counts();
  CloseDevice(device);
  if (!complete || AbortRequested()) return false;
  // Streams follow the records, LostFile comes last.
  nodes.pop_back();
  for (FileNode& stream : streams) {
    stream.id = static_cast<std::uint32_t>(nodes.size());
    nodes.push_back(std::move(stream));
  }
  nodes.emplace_back();
  PlaceLostFileNode(nodes, static_cast<std::uint32_t>(nodes.size() - 1));
  DetachFromReusedParents(nodes);
  LinkNodes(nodes);
  return true;
}

bool ReadNtfsLabel(const DeviceHandle& device, VolumeDescriptor& volume) {
  std::vector<RunEntry> runs;
  if (!FindMftRuns(volume, device, runs)) return false;
  std::vector<std::uint8_t> record(RecordBytesOf(volume));
  Sector64 sector = 0;
  if (MapRecordToSector(kVolumeRecord, volume, runs, sector)) {
    ReadRecords(device, sector, 1, RecordBytesOf(volume), record);
  }
  volume.label.clear();
  auto name = FindAttribute(record, attr::kVolumeName);
  auto value = name ? ResidentValue(*name) : std::nullopt;
  if (value && value->size() >= 2) {
    for (std::size_t i = 0; i + 1 < value->size(); i += 2) {
      char16_t c = ReadLe16(*value, i);
      if (c == 0) break;
      volume.label.push_back(c);
    }
  }
  return !volume.label.empty();
}

}  // namespace kestrum
