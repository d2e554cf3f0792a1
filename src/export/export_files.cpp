#include "export/export_files.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "base/byte_order.h"
#include "base/text.h"
#include "disk/device.h"
#include "export/export_names.h"
#include "fs/copy_out.h"
#include "fs/exfat/exfat_export.h"
#include "fs/fat/fat_export.h"
#include "fs/ntfs/ntfs_export.h"
#include "platform/files.h"

namespace kestrum {

namespace {

constexpr const char* kThreadName = "SaveAllToDirThread";

// Where the file-system name stands in an exFAT boot sector.
namespace exfatboot {
constexpr std::size_t kFsName = 3;
}

// A name that cannot be found free after this many tries is not exported.
constexpr unsigned kMaxNumberedNames = 10000;

bool IsFatPartitionType(std::uint8_t type) {
  switch (type) {
    case 0x04: case 0x06: case 0x0B: case 0x0C: case 0x0E:
    case 0x14: case 0x16: case 0x1B: case 0x1C: case 0x1E:
      return true;
    default:
      return false;
  }
}

bool HasExfatName(const VolumeDescriptor& volume) {
  return HasTag(ByteView(volume.bootSector), exfatboot::kFsName, "EXFAT");
}

// Whether the copy routine dates its output: an empty file, which needs no
// routine, is dated the same way.
bool RoutineSetsTimes(CopyRoutine routine) {
  return routine == CopyRoutine::kNtfs || routine == CopyRoutine::kFat;
}

// The path with every link resolved, '/'-separated; empty when it does not resolve.
std::u16string RealPathOf(const std::u16string& path) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::canonical(std::filesystem::path(path.empty() ? u"." : path), ec);
  return ec ? std::u16string() : real.generic_u16string();
}

bool IsInside(const std::u16string& root, const std::u16string& path) {
  if (root.empty() || path.empty()) return false;
  if (path == root) return true;
  std::u16string prefix = root.back() == u'/' ? root : root + u"/";
  return path.compare(0, prefix.size(), prefix) == 0;
}

// What one export has created or written so far, so that two siblings whose
// safe names coincide (or that a case-insensitive target folds together) are
// told apart, while files and folders left by an earlier export are replaced
// and merged into.
class ExportWalk {
 public:
  ExportWalk(const VolumeSet& set, const std::u16string& target, StatusMessage& status, ExportReport* report)
      : set_(set), status_(status), report_(report), target_(target), realTarget_(RealPathOf(target)) {
    // The report files count as written by this export: an exported file
    // of the same name is numbered instead of replacing them.
    if (report_ != nullptr) {
      for (const std::string& path : report_->Paths()) Remember(FromUtf8(path));
    }
  }

  void Run(const std::vector<std::uint32_t>& indices, bool keepPaths);

 private:
  struct Frame {
    std::u16string folder;
    std::vector<std::uint32_t> items;
    std::size_t next = 0;
    std::uint32_t node = kLostFileId;  // the folder node it lists, if any
  };

  // Exports the items and their visible subtrees into `folder`.
  void RunItems(const std::u16string& folder, const std::vector<std::uint32_t>& items);
  // The output folder for node k's parent, made with every folder above it
  // as the volume names them; false when one cannot be made.
  bool FolderAbove(std::uint32_t k, std::u16string& folder);
  // A free path in `folder` for the node's name, or "" when none is found.
  std::u16string ChoosePath(const std::u16string& folder, const FileNode& node);
  bool MakeFolder(const std::u16string& path);
  void Remember(const std::u16string& path);
  // The folder really lies inside the target (the last line of defence
  // against a name that climbs out).
  bool FolderIsInsideTarget(const std::u16string& folder) const;
  void ExportFile(const std::u16string& folder, std::uint32_t k, const FileNode& node);
  // Every visible file at or below k goes into the report as failed.
  void ReportNotExported(std::uint32_t k, ExportFailure why);
  std::u16string VolumePath(std::uint32_t k) const;
  std::string SavedAs(const std::u16string& path) const;

  const VolumeSet& set_;
  StatusMessage& status_;
  ExportReport* report_;
  std::u16string target_;
  std::u16string realTarget_;
  std::set<std::string> written_;  // file identities
  std::vector<bool> onPath_;
  std::map<std::uint32_t, std::u16string> folderOf_;  // folders made for kept paths
};

void ExportWalk::Remember(const std::u16string& path) {
  std::string identity = platform::FileIdentity(path);
  if (!identity.empty()) written_.insert(std::move(identity));
}

bool ExportWalk::FolderIsInsideTarget(const std::u16string& folder) const {
  return IsInside(realTarget_, RealPathOf(folder));
}

std::u16string ExportWalk::ChoosePath(const std::u16string& folder, const FileNode& node) {
  const std::u16string clean = CleanExportName(std::u16string(node.name));
  for (unsigned n = 1; n <= kMaxNumberedNames; ++n) {
    std::u16string path = JoinPath(folder, n == 1 ? clean : NumberedName(clean, n));
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::symlink_status(std::filesystem::path(path), ec);
    if (ec || !std::filesystem::exists(st)) {
      // Free, or unreachable for another reason that creating it will report.
      return path;
    }
    if (written_.count(platform::FileIdentity(path)) != 0) continue;  // a sibling of this export
    // Only a real file is replaced and only a real folder merged into: a
    // link could lead out of the target, a device node onto a disk.
    bool fits = node.IsFolder() ? std::filesystem::is_directory(st) : std::filesystem::is_regular_file(st);
    if (fits) return path;
  }
  return {};
}

bool ExportWalk::MakeFolder(const std::u16string& path) {
  std::error_code ec;
  const std::filesystem::path folder(path);
  if (!std::filesystem::create_directory(folder, ec)) {
    // ChoosePath saw an existing real folder here, or nothing at all.
    if (ec) return false;
    const std::filesystem::file_status st = std::filesystem::symlink_status(folder, ec);
    if (ec || !std::filesystem::is_directory(st)) return false;
  }
  Remember(path);
  return true;
}

std::u16string ExportWalk::VolumePath(std::uint32_t k) const {
  std::vector<std::uint32_t> chain;
  const NodeArray* nodes = set_.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr || !set_.PathToRoot(kCurrentVolume, k, chain)) {
    const FileNode* node = set_.IsNodeVisible(kCurrentVolume, k, false);
    return node != nullptr ? std::u16string(node->name) : std::u16string();
  }
  std::u16string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (*it == kRootNodeId) continue;
    if (!path.empty()) path += u'/';
    path += nodes->nodes[*it].name;
  }
  return path;
}

std::string ExportWalk::SavedAs(const std::u16string& path) const {
  if (path.empty()) return {};
  std::u16string rest = path.substr(std::min(path.size(), target_.size()));
  while (!rest.empty() && rest.front() == u'/') rest.erase(rest.begin());
  return ToUtf8(rest);
}

void ExportWalk::ExportFile(const std::u16string& folder, std::uint32_t k, const FileNode& node) {
  ExportStatus& s = status_.exportStatus;
  CopyFixedText(s.currentName, node.name);
  s.currentFileBytes = node.size;
  s.currentFileCopied = 0;
  PostStatus(status_);
  std::u16string path = ChoosePath(folder, node);
  FileExportResult result;
  if (!path.empty()) {
    result = ExportOneFile(path, status_, node, set_);
    Remember(path);
  } else {
    result.failure = ExportFailure::kCannotCreate;
    result.error = EEXIST;
  }
  if (report_ != nullptr) {
    report_->Add(VolumePath(k), node, result.failure == ExportFailure::kCannotCreate ? "" : SavedAs(path), result);
  }
  s.filesExported += 1;  // whatever the outcome
  PostStatus(status_);
}

void ExportWalk::ReportNotExported(std::uint32_t k, ExportFailure why) {
  if (report_ == nullptr) return;
  const NodeArray* nodes = set_.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr) return;
  FileExportResult result;
  result.failure = why;
  std::vector<std::uint32_t> pending = {k};
  std::vector<std::uint32_t> children;
  std::vector<bool> seen(nodes->Count(), false);
  while (!pending.empty()) {
    const std::uint32_t at = pending.back();
    pending.pop_back();
    const FileNode* node = set_.IsNodeVisible(kCurrentVolume, at, false);
    if (node == nullptr || seen[at]) continue;
    seen[at] = true;
    if (node->IsFile()) {
      report_->Add(VolumePath(at), *node, "", result);
      status_.exportStatus.filesExported += 1;
    } else if (node->IsFolder()) {
      set_.ListVisibleChildren(kCurrentVolume, at, children, false);
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  }
}

bool ExportWalk::FolderAbove(std::uint32_t k, std::u16string& folder) {
  std::vector<std::uint32_t> chain;
  if (!set_.PathToRoot(kCurrentVolume, k, chain)) return false;
  folder = target_;
  // chain runs from k up to the root: make the folders from the root down.
  for (std::size_t i = chain.size(); i-- > 1;) {
    const std::uint32_t a = chain[i];
    if (a == kRootNodeId) continue;
    if (auto made = folderOf_.find(a); made != folderOf_.end()) {
      folder = made->second;
      continue;
    }
    const FileNode* node = set_.IsNodeVisible(kCurrentVolume, a, false);
    if (node == nullptr) return false;
    std::u16string path = ChoosePath(folder, *node);
    if (path.empty() || !MakeFolder(path) || !FolderIsInsideTarget(path)) return false;
    folderOf_[a] = path;
    folder = std::move(path);
  }
  return true;
}

void ExportWalk::Run(const std::vector<std::uint32_t>& indices, bool keepPaths) {
  const NodeArray* nodes = set_.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr) return;
  if (!FolderIsInsideTarget(target_)) return;
  onPath_.assign(nodes->Count(), false);
  if (!keepPaths) {
    RunItems(target_, indices);
    return;
  }
  // Each item goes below the folders that hold it in the volume.
  for (std::uint32_t k : WithoutNestedItems(set_, indices)) {
    std::u16string folder;
    if (!FolderAbove(k, folder)) {
      ReportNotExported(k, ExportFailure::kFolderFailed);
      continue;
    }
    RunItems(folder, {k});
    if (AbortRequested()) return;
  }
}

void ExportWalk::RunItems(const std::u16string& folder, const std::vector<std::uint32_t>& indices) {
  const NodeArray* nodes = set_.NodesOfVolume(kCurrentVolume);
  // Depth first with an explicit stack: a damaged volume's folders can nest
  // deeper than a thread's stack would allow.
  std::vector<Frame> stack;
  stack.push_back({folder, indices, 0, kLostFileId});
  std::vector<std::uint32_t> children;
  while (!stack.empty()) {
    if (AbortRequested()) return;
    Frame& frame = stack.back();
    if (frame.next == frame.items.size()) {
      if (frame.node != kLostFileId) onPath_[frame.node] = false;
      stack.pop_back();
      continue;
    }
    const std::uint32_t k = frame.items[frame.next++];
    const FileNode* node = set_.IsNodeVisible(kCurrentVolume, k, false);
    if (node == nullptr || k >= nodes->Count()) continue;
    // A folder already open further up would make the walk go round for ever
    // (parent chains of damaged volumes can form a ring).
    if (node->IsFolder() && onPath_[k]) continue;
    if (k == kRootNodeId) {
      // The root stands for its children, written straight into the folder.
      std::u16string here = frame.folder;
      set_.ListVisibleChildren(kCurrentVolume, k, children, false);
      onPath_[k] = true;
      stack.push_back({std::move(here), children, 0, k});
    } else if (node->IsFolder()) {
      std::u16string path = ChoosePath(frame.folder, *node);
      // A folder that cannot be made is skipped with everything below it.
      if (path.empty() || !MakeFolder(path) || !FolderIsInsideTarget(path)) {
        ReportNotExported(k, ExportFailure::kFolderFailed);
        continue;
      }
      set_.ListVisibleChildren(kCurrentVolume, k, children, false);
      onPath_[k] = true;
      stack.push_back({std::move(path), children, 0, k});
    } else if (node->IsFile()) {
      ExportFile(frame.folder, k, *node);
      if (AbortRequested()) return;
    }
  }
}

}  // namespace

std::vector<std::uint32_t> WithoutNestedItems(const VolumeSet& set, const std::vector<std::uint32_t>& indices) {
  const NodeArray* nodes = set.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr) return {};
  std::vector<bool> chosen(nodes->Count(), false);
  for (std::uint32_t k : indices) {
    if (k < chosen.size()) chosen[k] = true;
  }
  std::vector<bool> taken(nodes->Count(), false);
  std::vector<std::uint32_t> kept;
  for (std::uint32_t k : indices) {
    if (k >= chosen.size() || taken[k]) continue;
    taken[k] = true;
    bool nested = false;
    std::uint32_t up = k;
    // A damaged volume's parent links may form a ring: no path is longer than the array.
    for (std::uint32_t steps = 0; steps < nodes->Count() && up != kRootNodeId && !nested; ++steps) {
      up = LinkedParent(nodes->nodes, up);
      nested = chosen[up] && up != k;
    }
    if (!nested) kept.push_back(k);
  }
  return kept;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty() || folder.back() == u'/' || folder.back() == u'\\') return folder + name;
  return folder + u"/" + name;
}

bool CopyNodeContent(CopyRoutine routine, const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                     StatusMessage& status) {
  switch (routine) {
    case CopyRoutine::kNtfs: return ExportNtfsFile(volume, node, out, status);
    case CopyRoutine::kFat: return ExportFatFile(volume, node, out, status);
    case CopyRoutine::kExfat: return ExportExfatFile(volume, node, out, status);
    case CopyRoutine::kSignature: return ExportSignatureFile(node, status, out, volume);
    case CopyRoutine::kContiguousClusters: return ExportContiguousClusters(volume, node, out, status);
    case CopyRoutine::kRebuiltExfat: return ExportRebuiltExfatFile(volume, node, out, status);
    case CopyRoutine::kNone: break;
  }
  return false;
}

CopyRoutine ChooseCopyRoutine(const VolumeDescriptor& volume) {
  const std::uint8_t type = volume.partitionType;
  if ((type == 0x07 && !HasExfatName(volume)) || type == 0x17) return CopyRoutine::kNtfs;
  if (IsFatPartitionType(type)) return CopyRoutine::kFat;
  if (type == 0x07) return CopyRoutine::kExfat;
  switch (volume.fsKind) {
    case kFsScanArea: return CopyRoutine::kSignature;
    case kFsRebuiltFat: return CopyRoutine::kContiguousClusters;
    case kFsRebuiltExfat: return CopyRoutine::kRebuiltExfat;
    // Volumes without a partition type of their own (a file-system image
    // probed by content) still have a reader that can copy their files.
    case kFsNtfs: return CopyRoutine::kNtfs;
    case kFsFat16:
    case kFsFat32: return CopyRoutine::kFat;
    case kFsExfat: return CopyRoutine::kExfat;
    default: return CopyRoutine::kNone;
  }
}

bool ExportSignatureFile(const FileNode& node, StatusMessage& status, OutputFile& out,
                         const VolumeDescriptor& volume) {
  DeviceHandle device = OpenContentSource(volume, out);
  if (!device.IsOpen()) return false;
  bool ok = CopyContiguousSectors(device, node.StartSector(), node.size, out, status);
  CloseDevice(device);
  return ok;
}

FileExportResult ExportOneFile(const std::u16string& path, StatusMessage& status, const FileNode& node,
                               const VolumeSet& set) {
  OutputFile out;
  FileExportResult result;
  if (!out.Create(ToUtf8(path))) {
    result.failure = ExportFailure::kCannotCreate;
    result.error = out.Record().writeError;
    return result;
  }
  const VolumeDescriptor* current = set.Current();
  if (current == nullptr) {
    result.failure = ExportFailure::kSourceUnopened;
    return result;
  }
  const VolumeDescriptor volume = *current;
  const CopyRoutine routine = ChooseCopyRoutine(volume);
  if (node.size == 0) {
    if (RoutineSetsTimes(routine)) out.SetTimes(node.creationTime, node.lastWriteTime);
    result.result = ExportResult::kCopied;
    return result;
  }
  if (routine == CopyRoutine::kNone) {
    result.failure = ExportFailure::kUnsupported;
    return result;
  }
  const bool ok = CopyNodeContent(routine, volume, node, out, status);
  result = JudgeCopy(ok, out, node);
  out.Close();
  return result;
}

void ExportNodes(const VolumeSet& set, const std::u16string& folder,
                 const std::vector<std::uint32_t>& indices, StatusMessage& status, bool keepPaths,
                 ExportReport* report) {
  if (AbortRequested()) return;
  ExportWalk walk(set, folder, status, report);
  walk.Run(indices, keepPaths);
}

void SaveAllToDirThread(ExportJob& job) {
  BeginWorker(kThreadName);
  if (job.set == nullptr) {
    RequestAbort();  // nothing to export from
    EndWorker(kThreadName);
    return;
  }
  StatusMessage status;
  status.kind = StatusKind::kExport;
  // Kept paths: an item inside another ticked one is counted (and copied) once.
  const std::vector<std::uint32_t> items = job.keepPaths ? WithoutNestedItems(*job.set, job.indices) : job.indices;
  SubtreeTotals totals;
  job.set->SumSelection(items, totals);
  status.exportStatus.filesToExport = totals.files;
  status.exportStatus.bytesToExport = totals.bytes;
  PostStatus(status);
  // A folder chosen as "name\" would otherwise swallow the separator.
  std::u16string folder = job.target;
  if (!folder.empty() && folder.back() == u'\\') folder += u'/';
  ExportReport report;
  report.Open(ToUtf8(folder));
  ExportNodes(*job.set, folder, items, status, job.keepPaths, &report);
  report.Close();
  job.counts = report.Counts();
  job.damagedFiles = report.Damaged();
  job.reportPaths = report.Paths();
  job.reportProblem = report.Problem();
  RequestFinish();  // only if nobody asked to stop
  EndWorker(kThreadName);
}

bool RunExport(const VolumeSet& set, const std::u16string& target,
               const std::vector<std::uint32_t>& indices, ProgressPresenter& presenter) {
  ExportJob job;
  job.set = &set;
  job.target = target;
  job.indices = indices;
  return RunExport(job, presenter);
}

bool RunExport(ExportJob& job, ProgressPresenter& presenter) {
  return RunWithProgress([&job] { SaveAllToDirThread(job); }, false, presenter);
}

}  // namespace kestrum
