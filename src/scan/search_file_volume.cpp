#include "scan/search_file_volume.h"

#include <algorithm>

#include "base/text.h"
#include "fs/tree/node_array.h"
#include "scan/file_extents.h"
#include "scan/scan_category.h"

namespace kestrum {

VolumeDescriptor BuildSearchFileVolume(const std::vector<ScanFinding>& findings,
                                       const VolumeDescriptor& scanned) {
  VolumeDescriptor volume;
  volume.label = kSearchFileLabel;
  volume.fsKind = kFsScanArea;
  volume.foundBy = FoundBy::kSignatures;
  volume.diskPath = scanned.diskPath;
  volume.diskDescription = scanned.diskDescription;
  volume.diskSectors = scanned.diskSectors;
  volume.startSector = scanned.startSector;
  volume.sectorCount = scanned.sectorCount;
  volume.name = scanned.name;
  AddRootNode(volume);
  NodeStrings& strings = NodesOf(volume).strings;
  NodeVector& nodes = NodesOf(volume).nodes;
  nodes.reserve(nodes.size() + kFileCategoryCount + findings.size());
  for (std::int32_t c = 0; c < kFileCategoryCount; ++c) {
    FileNode folder;
    folder.type = kFolder;
    folder.parentId = kRootNodeId;
    folder.name = strings.Keep(CategoryName(FileCategoryAt(c)));
    AppendNode(volume, folder);
  }
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const ScanFinding& f = findings[i];
    if (!IsFileCategory(f.category) || f.insideEarlierFile) continue;
    FileNode file;
    file.type = kFile;
    file.parentId = kRootNodeId + 1 + static_cast<std::uint32_t>(FileCategoryPlace(f.category));
    file.name = strings.Keep(FormatText("%04u.%s", static_cast<unsigned>(i), ToUtf8(CategoryName(f.category)).c_str()));
    file.size = f.FileLength();
    file.recovery = f.recovery;
    file.SetStartSector(FileStartSector(f));
    AppendNode(volume, file);
  }
  LinkNodes(nodes);
  for (std::uint32_t child : ChildrenOf(nodes, kRootNodeId)) {
    FileNode& folder = nodes[child];
    const ChildRange files = ChildrenOf(nodes, child);
    if (files.empty()) continue;
    const auto shown = static_cast<unsigned>(std::min<std::size_t>(files.size(), kMaxShownFolderCount));
    folder.name = strings.Keep(std::u16string(folder.name) + FormatText("-%u", shown));
  }
  return volume;
}

}  // namespace kestrum
