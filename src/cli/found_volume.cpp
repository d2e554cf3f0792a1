#include "cli/found_volume.h"

#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "disk/device_identity.h"
#include "repair/scan_finish_hooks.h"
#include "scan/scan_pipeline.h"
#include "scan/scan_state_file.h"

namespace kestrum::cli {

bool FoundVolumeIntoSet(const Arguments& args, VolumeSet& set, VolumeDescriptor& volume, int& exitStatus) {
  exitStatus = kExitUsage;
  if (args.operands.empty()) return (UsageError(Tr(u"缺少 SOURCE")), false);
  bool bad = false;
  std::optional<std::uint64_t> found = args.Number("--found", bad);
  if (bad || !found || *found == 0) return (UsageError(Tr(u"--scan FILE 需要 --found N（从 1 开始）")), false);
  exitStatus = kExitFailure;
  const std::string& file = args.values.at("--scan");
  SavedScan saved;
  ScanState state;
  std::u16string error;
  if (!LoadScanState(file, saved, state, error)) {
    Tell(error);
    return false;
  }
  const std::u16string source = FromUtf8(args.operands[0]);
  DeviceIdentity device;
  if (!IdentifyDevice(source, saved.device.description, device)) {
    Tell(Tr(u"无法打开设备: ") + source);
    return false;
  }
  if (device.token != saved.device.token || device.sectors != saved.device.sectors) {
    Tell(Tr(u"扫描状态文件属于另一个设备：") + FromUtf8(file) + Tr(u"（扫描的是 ") + saved.area.diskPath + Tr(u"）"));
    return false;
  }
  DeepScanJob job;
  job.request = saved.request;
  job.volume = saved.area;
  job.volume.diskPath = source;
  job.state = &state;
  job.finish = ScanFinishHookFor(saved.request.mode);
  DeviceHandle disk = OpenVolumeOnDisk(job.volume);
  if (!disk.IsOpen()) {
    Tell(Tr(u"无法打开设备: ") + source);
    return false;
  }
  FinishScan(job, disk);
  CloseDevice(disk);
  if (*found > job.results.size()) {
    Tell(TrFormat("扫描只找到 %zu 个卷（见 kestrum-cli scan --state %s）", job.results.size(), file.c_str()));
    exitStatus = kExitUsage;
    return false;
  }
  volume = job.results[static_cast<std::size_t>(*found - 1)];
  set.ClearVolumes();
  set.AddVolume(volume);
  set.viewMode = args.Has("--deleted") ? kViewDeletedFiles : kViewExistingFiles;
  set.SelectVolume(0, nullptr, kRootNodeId);
  exitStatus = kExitOk;
  return true;
}

}  // namespace kestrum::cli
