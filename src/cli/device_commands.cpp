// `disks` and `volumes`: what the device page lists, for scripts.

#include <cstdio>

#include "discovery/device_rows.h"
#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/table.h"
#include "cli/terminal_presenter.h"
#include "discovery/discovery.h"
#include "disk/sector_size.h"

namespace kestrum::cli {

namespace {

DiskSelection SelectionFrom(const Arguments& args, bool systemDisksWhenNone) {
  std::vector<std::u16string> paths;
  for (const std::string& path : args.operands) paths.push_back(FromUtf8(path));
  DiskSelection selection = NamedDisks(args, paths);
  selection.systemDisks = selection.paths.empty() ? systemDisksWhenNone : false;
  return selection;
}

void TellProblems(const DiscoveryProblems& problems) {
  for (const std::u16string& problem : problems) Tell(problem);
}

}  // namespace

void Tell(const std::u16string& message) { std::fprintf(stderr, "%s\n", ToUtf8(message).c_str()); }

bool TellUnopened(const UnopenedDevices& devices) {
  for (const std::u16string& line : UnopenedDeviceLines(devices)) Tell(line);
  return !devices.empty();
}

int UsageError(const std::u16string& message) {
  std::fprintf(stderr, "kestrum-cli: %s\n", ToUtf8(message).c_str());
  return kExitUsage;
}

bool SectorSizeOption(const Arguments& args, std::uint32_t& out, int& status) {
  out = 0;
  bool bad = false;
  const std::optional<std::uint64_t> bytes = args.Number("--sector-size", bad);
  if (!bytes) {
    if (bad) status = UsageError(Tr(u"--sector-size 只能是 512、1024、2048 或 4096（字节）"));
    return !bad;
  }
  if (!IsDeviceSectorSize(*bytes)) {
    status = UsageError(TrFormat("--sector-size 只能是 512、1024、2048 或 4096（字节），不能是 %llu",
                                 static_cast<unsigned long long>(*bytes)));
    return false;
  }
  out = static_cast<std::uint32_t>(*bytes);
  return true;
}

DiskSelection NamedDisks(const Arguments& args, const std::vector<std::u16string>& paths) {
  DiskSelection selection;
  selection.systemDisks = false;
  selection.paths = paths;
  int unused = kExitOk;
  SectorSizeOption(args, selection.sectorSize, unused);  // checked once, before any verb
  return selection;
}

int RunDisks(const Arguments& args) {
  // `disks IMAGE…` lists the system's disks plus the given images.
  DiskSelection selection = SelectionFrom(args, true);
  selection.systemDisks = true;
  DiskList disks;
  DiscoveryProblems problems;
  UnopenedDevices unopened;
  bool any = EnumerateDisks(selection, disks, &problems, &unopened);
  TellProblems(problems);
  if (!any) {
    // Disks that are there but would not open are not "no disk".
    if (!TellUnopened(unopened)) Tell(Tr(u"未发现磁盘设备，请确定磁盘设备正确连接电脑，然后点击刷新按钮!"));
    return kExitFailure;
  }
  if (args.Has("--json")) {
    for (const DiskInfo& disk : disks) {
      std::printf("%s\n", JsonLine()
                              .Add("number", disk.number)
                              .Add("description", disk.description)
                              .Add("path", disk.path)
                              .Add("sizeText", disk.sizeText)
                              .Add("sectorCount", disk.sectorCount)
                              .Add("sectorSize", disk.sectorSize)
                              .Text()
                              .c_str());
    }
  } else {
    std::vector<std::vector<std::u16string>> rows = {{Tr(kDiskColumns[0]), Tr(kDiskColumns[1]), Tr(u"设备")}};
    for (const DiskInfo& disk : disks) {
      DiskRow row = FormatDiskRow(disk);
      rows.push_back({row[0], row[1], disk.path});
    }
    PrintTable(rows);
  }
  std::fflush(stdout);  // the listing first, then what would not open
  TellUnopened(unopened);
  return kExitOk;
}

int RunVolumes(const Arguments& args) {
  VolumeListRequest request;
  request.selection = SelectionFrom(args, true);
  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  bool ok = RunWithProgress([&request] { VolumeListThread(request); }, false, presenter);
  TellProblems(request.problems);
  if (!ok) {
    Tell(Tr(u"获取设备信息失败!"));
    return kExitFailure;
  }
  if (request.volumes.empty()) {
    if (!TellUnopened(request.unopened)) Tell(Tr(u"未发现分区！"));
    return kExitFailure;
  }
  if (args.Has("--json")) {
    std::uint32_t index = 0;
    for (const VolumeDescriptor& v : request.volumes) {
      std::printf("%s\n", JsonLine()
                              .Add("index", ++index)
                              .Add("name", v.name)
                              .Add("volumePath", v.volumePath)
                              .Add("diskPath", v.diskPath)
                              .Add("label", v.label)
                              .Add("fsName", v.fsName)
                              .Add("fsKind", static_cast<std::int32_t>(v.fsKind))
                              .Add("partitionType", std::uint32_t{v.partitionType})
                              .Add("startSector", v.startSector)
                              .Add("sectorCount", v.sectorCount)
                              .Add("serial", v.readerState.serial)
                              .Add("sectorSize", v.sectorSize)
                              .Text()
                              .c_str());
    }
  } else {
    std::vector<std::vector<std::u16string>> rows(1);
    for (const char16_t* caption : kVolumeColumns) rows[0].push_back(Tr(caption));
    for (const VolumeDescriptor& v : request.volumes) {
      VolumeRow row = FormatVolumeRow(v);
      rows.push_back({row.begin(), row.end()});
    }
    PrintTable(rows);
  }
  std::fflush(stdout);
  TellUnopened(request.unopened);
  return kExitOk;
}

}  // namespace kestrum::cli
