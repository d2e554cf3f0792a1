#include "export/export_files.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

std::string RealPathOf(const std::string& path) {
  char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  std::free(real);
  return out;
}

bool IsInside(const std::string& root, const std::string& path) {
  if (root.empty() || path.empty()) return false;
  if (path == root) return true;
  std::string prefix = root.back() == '/' ? root : root + "/";
  return path.compare(0, prefix.size(), prefix) == 0;
}

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator<(const FileId& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};

// What one export has created or written so far, so that two siblings whose
// safe names coincide (or that a case-insensitive target folds together) are
// told apart, while files and folders left by an earlier export are replaced
// and merged into.
class ExportWalk {
 public:
  ExportWalk(const VolumeSet& set, const std::u16string& target, StatusMessage& status)
      : set_(set), status_(status), realTarget_(RealPathOf(ToUtf8(target))) {}

  void Run(const std::u16string& folder, const std::vector<std::uint32_t>& indices);

 private:
  struct Frame {
    std::u16string folder;
    std::vector<std::uint32_t> items;
    std::size_t next = 0;
    std::uint32_t node = kLostFileId;  // the folder node it lists, if any
  };

  // A free path in `folder` for the node's name, or "" when none is found.
  std::u16string ChoosePath(const std::u16string& folder, const FileNode& node);
  bool MakeFolder(const std::u16string& path);
  void Remember(const std::string& path);
  // The folder really lies inside the target (the last line of defence
  // against a name that climbs out).
  bool FolderIsInsideTarget(const std::u16string& folder) const;
  void ExportFile(const std::u16string& folder, const FileNode& node);

  const VolumeSet& set_;
  StatusMessage& status_;
  std::string realTarget_;
  std::set<FileId> written_;
  std::vector<bool> onPath_;
};

void ExportWalk::Remember(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) written_.insert({st.st_dev, st.st_ino});
}

bool ExportWalk::FolderIsInsideTarget(const std::u16string& folder) const {
  return IsInside(realTarget_, RealPathOf(ToUtf8(folder)));
}

std::u16string ExportWalk::ChoosePath(const std::u16string& folder, const FileNode& node) {
  const std::u16string clean = CleanExportName(std::u16string(node.name));
  for (unsigned n = 1; n <= kMaxNumberedNames; ++n) {
    std::u16string path = JoinPath(folder, n == 1 ? clean : NumberedName(clean, n));
    struct stat st {};
    if (::lstat(ToUtf8(path).c_str(), &st) != 0) {
      // Free, or unreachable for another reason that creating it will report.
      return path;
    }
    if (written_.count({st.st_dev, st.st_ino}) != 0) continue;  // a sibling of this export
    // Only a real file is replaced and only a real folder merged into: a
    // link could lead out of the target, a device node onto a disk.
    bool fits = node.IsFolder() ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    if (fits) return path;
  }
  return {};
}

bool ExportWalk::MakeFolder(const std::u16string& path) {
  std::string bytes = ToUtf8(path);
  if (::mkdir(bytes.c_str(), 0777) != 0) {
    struct stat st {};
    // ChoosePath saw an existing real folder here, or nothing at all.
    if (errno != EEXIST || ::lstat(bytes.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  Remember(bytes);
  return true;
}

void ExportWalk::ExportFile(const std::u16string& folder, const FileNode& node) {
  ExportStatus& s = status_.exportStatus;
  CopyFixedText(s.currentName, node.name);
  s.currentFileBytes = node.size;
  s.currentFileCopied = 0;
  PostStatus(status_);
  std::u16string path = ChoosePath(folder, node);
  if (!path.empty()) {
    ExportOneFile(path, status_, node, set_);
    Remember(ToUtf8(path));
  }
  s.filesExported += 1;  // whatever the outcome
  PostStatus(status_);
}

void ExportWalk::Run(const std::u16string& folder, const std::vector<std::uint32_t>& indices) {
  const NodeArray* nodes = set_.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr) return;
  if (!FolderIsInsideTarget(folder)) return;
  onPath_.assign(nodes->Count(), false);
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
    if (node == nullptr) continue;
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
      if (path.empty() || !MakeFolder(path) || !FolderIsInsideTarget(path)) continue;
      set_.ListVisibleChildren(kCurrentVolume, k, children, false);
      onPath_[k] = true;
      stack.push_back({std::move(path), children, 0, k});
    } else if (node->IsFile()) {
      ExportFile(frame.folder, *node);
      if (AbortRequested()) return;
    }
  }
}

}  // namespace

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty() || folder.back() == u'/' || folder.back() == u'\\') return folder + name;
  return folder + u"/" + name;
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
  DeviceHandle device = OpenVolumeOnDisk(volume);
  if (!device.IsOpen()) return false;
  bool ok = CopyContiguousSectors(device, node.StartSector(), node.size, out, status);
  CloseDevice(device);
  return ok;
}

bool ExportOneFile(const std::u16string& path, StatusMessage& status, const FileNode& node,
                   const VolumeSet& set) {
  OutputFile out;
  if (!out.Create(ToUtf8(path))) return false;
  const VolumeDescriptor* current = set.Current();
  if (current == nullptr) return false;
  const VolumeDescriptor volume = *current;
  const CopyRoutine routine = ChooseCopyRoutine(volume);
  if (node.size == 0) {
    if (RoutineSetsTimes(routine)) out.SetTimes(node.creationTime, node.lastWriteTime);
    return true;
  }
  bool ok = false;
  switch (routine) {
    case CopyRoutine::kNtfs: ok = ExportNtfsFile(volume, node, out, status); break;
    case CopyRoutine::kFat: ok = ExportFatFile(volume, node, out, status); break;
    case CopyRoutine::kExfat: ok = ExportExfatFile(volume, node, out, status); break;
    case CopyRoutine::kSignature: ok = ExportSignatureFile(node, status, out, volume); break;
    case CopyRoutine::kContiguousClusters: ok = ExportContiguousClusters(volume, node, out, status); break;
    case CopyRoutine::kRebuiltExfat: ok = ExportRebuiltExfatFile(volume, node, out, status); break;
    case CopyRoutine::kNone: break;
  }
  out.Close();
  return ok;
}

void ExportNodes(const VolumeSet& set, const std::u16string& folder,
                 const std::vector<std::uint32_t>& indices, StatusMessage& status) {
  if (AbortRequested()) return;
  ExportWalk walk(set, folder, status);
  walk.Run(folder, indices);
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
  SubtreeTotals totals;
  job.set->SumSelection(job.indices, totals);
  status.exportStatus.filesToExport = totals.files;
  status.exportStatus.bytesToExport = totals.bytes;
  PostStatus(status);
  // A folder chosen as "name\" would otherwise swallow the separator.
  std::u16string folder = job.target;
  if (!folder.empty() && folder.back() == u'\\') folder += u'/';
  ExportNodes(*job.set, folder, job.indices, status);
  RequestFinish();  // only if nobody asked to stop
  EndWorker(kThreadName);
}

bool RunExport(const VolumeSet& set, const std::u16string& target,
               const std::vector<std::uint32_t>& indices, ProgressPresenter& presenter) {
  ExportJob job;
  job.set = &set;
  job.target = target;
  job.indices = indices;
  return RunWithProgress([&job] { SaveAllToDirThread(job); }, false, presenter);
}

}  // namespace kestrum
