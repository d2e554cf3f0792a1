// `export`: read one volume, then copy the chosen paths of the chosen view
// into a target folder, as the browser's "导出" does.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "export/target_device.h"
#include "base/catalog.h"
#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/found_volume.h"
#include "cli/terminal_presenter.h"
#include "cli/volume_source.h"
#include "export/export_files.h"
#include "find/file_filter.h"
#include "fs/tree/volume_set.h"
#include "platform/files.h"

namespace kestrum::cli {

namespace {

// A path as `ls` prints it ("docs/报告/a.txt"), looked up in the current
// view. Names may themselves hold "/", so every way of splitting is tried,
// in the order `ls` lists the nodes.
bool FindVisiblePath(const VolumeSet& set, std::string path, std::uint32_t& out) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  while (!path.empty() && path.front() == '/') path.erase(path.begin());
  if (path.empty() || path == ".") {
    out = kRootNodeId;
    return true;
  }
  const NodeArray* nodes = set.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr) return false;
  struct Step {
    std::uint32_t folder;
    std::size_t offset;  // where the rest of the path starts
  };
  // Each step eats at least one name and a "/", so the stack stays small.
  std::vector<Step> pending = {{kRootNodeId, 0}};
  std::vector<std::uint32_t> children;
  while (!pending.empty()) {
    Step step = pending.back();
    pending.pop_back();
    const std::string rest = path.substr(step.offset);
    set.ListVisibleChildren(kCurrentVolume, step.folder, children, false);
    std::vector<Step> deeper;
    for (std::uint32_t child : children) {
      const FileNode& node = nodes->nodes[child];
      const std::string name = ToUtf8(node.name);
      if (rest == name) {
        out = child;
        return true;
      }
      if (node.IsFolder() && rest.size() > name.size() + 1 && rest.compare(0, name.size(), name) == 0 &&
          rest[name.size()] == '/') {
        deeper.push_back({child, step.offset + name.size() + 1});
      }
    }
    pending.insert(pending.end(), deeper.rbegin(), deeper.rend());
  }
  return false;
}

bool IsDirectory(const std::string& path) {
  return platform::ExaminePath(FromUtf8(path), true).kind == platform::PathKind::kFolder;
}

}  // namespace

int RunExportFiles(const Arguments& args) {
  if (args.operands.size() < 2) {
    return UsageError(args.operands.empty() ? Tr(u"缺少 SOURCE 和 TARGET") : Tr(u"缺少 TARGET"));
  }
  const std::string target = args.operands[1];
  if (!IsDirectory(target)) {
    Tell(Tr(u"导出目录不存在或不是目录：") + FromUtf8(target));
    return kExitUsage;
  }
  VolumeDescriptor volume;
  int status = kExitOk;
  VolumeSet set;
  FileFilter filter;
  if (!FilterFromArguments(args, filter, status)) return status;
  const bool found = args.values.count("--scan") != 0;
  if (found) {
    if (!FoundVolumeIntoSet(args, set, volume, status)) return status;
  } else if (!ResolveVolumeSource(args, volume, status)) {
    return status;
  }
  const std::u16string targetPath = FromUtf8(AbsolutePath(target));
  if (TargetIsOnSourceDevice(targetPath, volume)) {
    Tell(Tr(u"导出目录与要恢复的分区在同一个磁盘上，导出的文件可能覆盖要恢复的数据，"
            u"请选择其他磁盘上的目录：") + targetPath);
    return kExitFailure;
  }
  if (!found && !ReadIntoVolumeSet(args, volume, set, status)) return status;

  std::vector<std::uint32_t> indices;
  for (std::size_t i = 2; i < args.operands.size(); ++i) {
    std::uint32_t index = 0;
    if (!FindVisiblePath(set, args.operands[i], index)) {
      return UsageError(set.viewMode == kViewDeletedFiles
                            ? TrFormat("已删除文件视图中没有这个路径：%s（见 kestrum-cli ls --deleted）",
                                       args.operands[i].c_str())
                            : TrFormat("现有文件视图中没有这个路径：%s（见 kestrum-cli ls）", args.operands[i].c_str()));
    }
    // Naming a path twice exports it once.
    if (std::find(indices.begin(), indices.end(), index) == indices.end()) indices.push_back(index);
  }
  if (indices.empty()) indices.push_back(kRootNodeId);
  ExportJob job;
  job.set = &set;
  job.target = targetPath;
  if (filter.IsEmpty()) {
    job.indices = std::move(indices);
  } else {
    // The matches at or below the named paths, each below its folders.
    job.keepPaths = true;
    std::vector<bool> named(set.NodesOfVolume(kCurrentVolume)->Count(), false);
    for (std::uint32_t index : indices) named[index] = true;
    std::vector<std::uint32_t> chain;
    for (std::uint32_t match : FindMatches(set, kCurrentVolume, filter)) {
      chain.clear();
      bool inside = named[kRootNodeId];
      if (!inside && set.PathToRoot(kCurrentVolume, match, chain)) {
        for (std::uint32_t up : chain) inside = inside || named[up];
      }
      if (inside) job.indices.push_back(match);
    }
    if (job.indices.empty()) {
      Tell(Tr(u"没有符合筛选条件的文件或目录，未导出任何文件"));
      return kExitFailure;
    }
  }

  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  const bool ok = RunExport(job, presenter);
  for (const DamagedFile& file : job.damagedFiles) Tell(DamagedFileLine(file));
  Tell(Tr(ok ? u"导出文件成功！" : u"导出文件失败！"));
  Tell(ExportSummaryText(job.counts, job.reportPaths, job.reportProblem));
  return ok ? kExitOk : kExitFailure;
}

}  // namespace kestrum::cli
