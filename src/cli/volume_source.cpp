#include "cli/volume_source.h"

#include "fs/bitlocker.h"
#include "base/catalog.h"
#include "fs/part_data_thread.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/terminal_presenter.h"
#include "discovery/discovery.h"

namespace kestrum::cli {

bool ResolveVolumeSource(const Arguments& args, VolumeDescriptor& out, int& exitStatus) {
  if (args.operands.empty()) {
    exitStatus = UsageError(Tr(u"缺少 SOURCE"));
    return false;
  }
  bool bad = false;
  std::optional<std::uint64_t> partition = args.Number("--partition", bad);
  if (bad || (partition && *partition == 0)) {
    exitStatus = UsageError(Tr(u"--partition 需要一个从 1 开始的数字"));
    return false;
  }
  std::u16string path = FromUtf8(args.operands[0]);
  DiskSelection selection = NamedDisks(args, {path});
  DiskList disks;
  DiscoveryProblems problems;
  UnopenedDevices unopened;
  bool found = EnumerateDisks(selection, disks, &problems, &unopened);
  for (const std::u16string& problem : problems) Tell(problem);
  if (!found) {
    if (!TellUnopened(unopened)) Tell(Tr(u"获取设备信息失败!"));
    exitStatus = kExitFailure;
    return false;
  }
  std::vector<VolumeExtent> extents = CollectVolumeExtents(disks[0], &problems);
  if (extents.empty()) {
    Tell(Tr(u"未发现分区！"));
    exitStatus = kExitFailure;
    return false;
  }
  std::size_t index = 0;
  if (partition) {
    if (*partition > extents.size()) {
      Tell(TrFormat("%s 只有 %zu 个分区", args.operands[0].c_str(), extents.size()));
      exitStatus = kExitUsage;
      return false;
    }
    index = static_cast<std::size_t>(*partition - 1);
  } else if (extents.size() > 1) {
    Tell(TrFormat("%s 有 %zu 个分区，请用 --partition N 选择一个（见 kestrum-cli volumes）",
                    args.operands[0].c_str(), extents.size()));
    exitStatus = kExitUsage;
    return false;
  }
  if (!ProbeDriveLetter(extents[index], disks, out)) {
    Tell(Tr(u"获取设备信息失败!"));
    exitStatus = kExitFailure;
    return false;
  }
  if (!out.overwrittenBy.empty()) Tell(OverwrittenNote(out));
  return true;
}

bool ReadIntoVolumeSet(const Arguments& args, const VolumeDescriptor& volume, VolumeSet& set,
                       int& exitStatus) {
  exitStatus = kExitFailure;
  if (volume.fsKind == kFsUnknown) {
    Tell(Tr(u"无法识别该分区的文件系统：") + volume.name);
    return false;
  }
  if (volume.fsKind == kFsBitLocker) {
    Tell(Tr(kBitLockerMessage));
    return false;
  }
  PartDataJob job;
  job.volume = volume;
  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  if (!RunWithProgress([&job] { GetPartDataThread(job); }, false, presenter)) {
    Tell(Tr(u"操作已取消"));
    return false;
  }
  if (!job.readOk) {
    Tell(Tr(u"读取分区的文件系统失败：") + job.volume.name);
    return false;
  }
  // What a failing disk kept from the listing, before the listing itself.
  if (const std::u16string lost = ReaderLossText(job.volume.readerState.loss); !lost.empty()) {
    Tell(job.volume.name + Tr(u"：") + lost);
  }
  set.ClearVolumes();
  set.AddVolume(job.volume);
  set.viewMode = args.Has("--deleted") ? kViewDeletedFiles : kViewExistingFiles;
  set.SelectVolume(0, nullptr, kRootNodeId);
  exitStatus = kExitOk;
  return true;
}

}  // namespace kestrum::cli
