// `scan`: the deep scan of a disk or a volume, behind the terminal progress
// line; prints the volumes found, one a line.

#include <cstdio>

#include "base/text.h"
#include "base/catalog.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "fs/tree/node_vector.h"
#include "cli/scan_source.h"
#include "cli/table.h"
#include "cli/terminal_presenter.h"
#include "fs/tree/file_node.h"
#include "repair/scan_finish_hooks.h"
#include "run/scan_settings.h"
#include "scan/scan_pipeline.h"
#include "scan/scan_state_file.h"
#include "disk/device_identity.h"
#include "platform/files.h"

namespace kestrum::cli {

namespace {

// --priority START_GB:SIZE_GB, as the scan settings dialog takes it.
bool ParsePriority(const Arguments& args, ScanRequest& request) {
  auto it = args.values.find("--priority");
  if (it == args.values.end()) return true;
  const std::string& text = it->second;
  const auto colon = text.find(':');
  float start = 0, size = 0;
  if (colon == std::string::npos || !ParseEditFloat(text.substr(0, colon), start) ||
      !ParseEditFloat(text.substr(colon + 1), size) || start < 0 || size < 0) {
    return false;
  }
  request.priorityStart = GibToSectors(start);
  request.priorityLength = GibToSectors(size);
  return true;
}

struct TreeCounts {
  std::uint64_t files = 0;
  std::uint64_t folders = 0;
};

// Files and folders of the volume's tree, the root and empty slots left out.
TreeCounts CountTree(const VolumeDescriptor& volume) {
  TreeCounts counts;
  if (!volume.readerState.nodes) return counts;
  const NodeVector& nodes = volume.readerState.nodes->nodes;
  for (std::uint32_t i = 0; i < nodes.size(); ++i) {
    if (i == kRootNodeId || !IsUsedSlot(nodes[i], i)) continue;
    if (nodes[i].IsFolder()) {
      ++counts.folders;
    } else {
      ++counts.files;
    }
  }
  return counts;
}

std::u16string FsNameOf(const VolumeDescriptor& volume) {
  if (!volume.fsName.empty()) return volume.fsName;
  std::u16string name = FsKindName(volume.fsKind);
  return name == u" " ? u"" : name;
}

void PrintVolumes(const VolumeList& volumes, bool json) {
  std::vector<std::vector<std::u16string>> rows = {
      {Tr(u"序号"), Tr(u"卷标"), Tr(u"文件系统"), Tr(u"起始扇区"), Tr(u"扇区数"), Tr(u"文件"), Tr(u"目录"), Tr(u"发现方式")}};
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const VolumeDescriptor& v = volumes[i];
    const TreeCounts counts = CountTree(v);
    if (json) {
      JsonLine line;
      line.Add("index", std::uint64_t{i + 1}).Add("label", v.label).Add("fsName", FsNameOf(v));
      line.Add("fsKind", static_cast<std::int32_t>(v.fsKind)).Add("startSector", v.startSector);
      line.Add("sectorCount", v.sectorCount).Add("files", counts.files).Add("folders", counts.folders);
      line.Add("foundBy", FoundByName(v.foundBy));
      std::printf("%s\n", line.Text().c_str());
    } else {
      rows.push_back({FormatText("%zu", i + 1), v.label, FsNameOf(v), DecimalText(v.startSector),
                      DecimalText(v.sectorCount), FormatText("%llu", static_cast<unsigned long long>(counts.files)),
                      FormatText("%llu", static_cast<unsigned long long>(counts.folders)),
                      FromUtf8(FoundByName(v.foundBy))});
    }
  }
  if (!json) PrintTable(rows);
}

// Loads --state FILE when it exists: its state resumes the scan when it is
// of this device and area; another one is refused unless --fresh.
bool LoadOrPrepare(const Arguments& args, const SavedScan& current, DeepScanJob& job, ScanState& state,
                   int& status) {
  auto it = args.values.find("--state");
  const bool fresh = args.Has("--fresh");
  if (it != args.values.end() && !fresh && platform::ExaminePath(FromUtf8(it->second), true).kind != platform::PathKind::kMissing) {
    SavedScan saved;
    std::u16string error;
    if (!LoadScanState(it->second, saved, state, error)) {
      Tell(error + Tr(u"（用 --fresh 重新开始扫描）"));
      status = kExitFailure;
      return false;
    }
    if (!(saved.device == current.device) || saved.area.startSector != current.area.startSector ||
        saved.area.sectorCount != current.area.sectorCount) {
      Tell(Tr(u"扫描状态文件属于另一个设备或另一个扫描范围：") + FromUtf8(it->second) +
           Tr(u"（") + saved.area.diskPath + Tr(u"，用 --fresh 重新开始扫描）"));
      status = kExitFailure;
      return false;
    }
    job.request = saved.request;  // a resumed scan keeps its own priority region
    return true;
  }
  state.PrepareScan(job.volume, job.request);
  return true;
}

}  // namespace

bool DescribeScan(const std::u16string& path, const VolumeDescriptor& area, const ScanRequest& request,
                  SavedScan& out) {
  out.area = area;
  out.request = request;
  return IdentifyDevice(path, area.diskDescription, out.device);
}

int RunScan(const Arguments& args) {
  ScanSource source;
  int status = kExitOk;
  DeepScanJob job;
  if (!ParsePriority(args, job.request)) return UsageError(Tr(u"--priority 的格式是 START_GB:SIZE_GB"));
  if (!ResolveScanSource(args, source, status)) return status;
  job.request.mode = source.mode;
  job.volume = source.area;
  job.finish = ScanFinishHookFor(source.mode);
  DeviceHandle probe = OpenVolumeOnDisk(job.volume);
  if (!probe.IsOpen()) {
    Tell(Tr(u"无法打开设备: ") + job.volume.diskPath);
    return kExitFailure;
  }
  CloseDevice(probe);
  SavedScan current;
  if (!DescribeScan(job.volume.diskPath, job.volume, job.request, current)) {
    Tell(Tr(u"获取设备信息失败!"));
    return kExitFailure;
  }
  ScanState state;
  job.state = &state;
  if (!LoadOrPrepare(args, current, job, state, status)) return status;
  current.request = job.request;

  InstallScanInterruptHandler();
  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  const bool finished = RunDeepScan(job, presenter);
  if (const std::u16string lost = ReadLossText(job.readLosses); !lost.empty()) Tell(lost);
  // Kept whether the scan ended, was stopped or was aborted.
  if (auto it = args.values.find("--state"); it != args.values.end()) {
    std::u16string error;
    if (!SaveScanState(it->second, current, state, error)) {
      Tell(error);
      return kExitFailure;
    }
  }
  if (!finished) {
    Tell(Tr(u"操作已取消"));
    return kExitFailure;
  }
  PrintVolumes(job.results, args.Has("--json"));
  return kExitOk;
}

}  // namespace kestrum::cli
