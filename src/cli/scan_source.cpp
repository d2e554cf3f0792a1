#include "cli/scan_source.h"

#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/volume_source.h"
#include "discovery/discovery.h"

namespace kestrum::cli {

namespace {


}  // namespace

bool ResolveScanSource(const Arguments& args, ScanSource& out, int& exitStatus) {
  if (args.operands.empty()) {
    exitStatus = UsageError(Tr(u"缺少 SOURCE"));
    return false;
  }
  if (args.values.count("--partition") != 0) {
    if (!ResolveVolumeSource(args, out.area, exitStatus)) return false;
    out.area.fsKind = kFsScanArea;
    out.mode = kScanPartition;
    return true;
  }
  const std::u16string path = FromUtf8(args.operands[0]);
  DiskSelection selection = NamedDisks(args, {path});
  DiskList disks;
  DiscoveryProblems problems;
  UnopenedDevices unopened;
  const bool found = EnumerateDisks(selection, disks, &problems, &unopened);
  for (const std::u16string& problem : problems) Tell(problem);
  if (!found) {
    if (!TellUnopened(unopened)) Tell(Tr(u"获取设备信息失败!"));
    exitStatus = kExitFailure;
    return false;
  }
  // A device that is one file system from its first sector (a partition
  // device, a file-system image) is a partition search; anything else is
  // searched as a disk, partition table or not.
  std::vector<VolumeExtent> extents = CollectVolumeExtents(disks[0], &problems);
  if (extents.size() == 1 && extents[0].startSector == 0 && extents[0].sectorCount == disks[0].sectorCount) {
    if (!ProbeDriveLetter(extents[0], disks, out.area)) {
      Tell(Tr(u"获取设备信息失败!"));
      exitStatus = kExitFailure;
      return false;
    }
    out.area.fsKind = kFsScanArea;
    out.mode = kScanPartition;
    return true;
  }
  out.area = WholeDiskArea(disks[0]);
  out.mode = kScanDisk;
  return true;
}

}  // namespace kestrum::cli
