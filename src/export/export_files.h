#pragma once
// Copying ticked files and folders of a recovered tree into a folder the
// user chose. One worker walks the selection, creates folders, and hands each
// file to the copy routine of its file system; the presenter watches the
// kind-3 status messages it posts.

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_report.h"
#include "run/progress_runner.h"
#include "run/worker_state.h"
#include "disk/volume_descriptor.h"
#include "fs/copy_out.h"
#include "fs/output_file.h"
#include "fs/tree/file_node.h"
#include "fs/tree/volume_set.h"

namespace kestrum {

struct ExportJob {
  const VolumeSet* set = nullptr;
  std::u16string target;
  std::vector<std::uint32_t> indices;
  // Each item goes below the folders that hold it in the volume (the
  // matches of a filter), instead of straight into the target.
  bool keepPaths = false;
  // Filled by the worker: what became of the files, and the report's files.
  ExportCounts counts;
  std::vector<DamagedFile> damagedFiles;  // copied with unreadable sectors
  std::vector<std::string> reportPaths;
  std::u16string reportProblem;
};

// Runs SaveAllToDirThread behind the presenter; true when the run state ended "finished".
bool RunExport(ExportJob& job, ProgressPresenter& presenter);
bool RunExport(const VolumeSet& set, const std::u16string& target, const std::vector<std::uint32_t>& indices, ProgressPresenter& presenter);
// Exports the job's items into its target with the report beside them.
void SaveAllToDirThread(ExportJob& job);
// Whether writing into `target` could overwrite the device `volume` is read from.
bool TargetIsOnSourceDevice(const std::u16string& target, const VolumeDescriptor& volume);
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);
// The items of the current volume, in order, without those that lie inside
// another of them or come twice.
std::vector<std::uint32_t> WithoutNestedItems(const VolumeSet& set, const std::vector<std::uint32_t>& indices);

// The unit in which a file found by its content is read and written.
constexpr std::uint32_t kExportChunkSectors = kCopyChunkSectors;
constexpr std::uint32_t kExportChunkBytes = static_cast<std::uint32_t>(kCopyChunkBytes);  // 1 MiB

// Recreates the visible part of each indexed node of the current volume
// under `folder`: folders become directories (an existing one is merged
// into), files are copied (an existing file is replaced). The root stands
// for its children. With `keepPaths` each node goes below the folders that
// hold it in the volume, made as needed. Names are made safe first
// (export_names.h); siblings whose safe names coincide get " (2)", " (3)", …
// rather than overwrite each other, and nothing is ever written through a
// symbolic link or a special file found in the target. Every file met goes
// into `report` (when given) with its result, also the files of a folder that
// could not be made. Returns early only on abort.
void ExportNodes(const VolumeSet& set, const std::u16string& folder,
                 const std::vector<std::uint32_t>& indices, StatusMessage& status, bool keepPaths = false,
                 ExportReport* report = nullptr);

// Creates (or empties) the file at `path` and copies the node's content into
// it with the routine of the current volume's file system. An empty file is
// only created. The result says whether it was copied, and if not, why, as
// the copy found it.
FileExportResult ExportOneFile(const std::u16string& path, StatusMessage& status, const FileNode& node,
                               const VolumeSet& set);

// A file found by its content: `StartSector()` is its absolute start sector on the
// volume's disk; it is read and written in 1 MiB chunks. After a failed read
// or write, or a stop, the output is cut to nothing and the answer is false.
bool ExportSignatureFile(const FileNode& node, StatusMessage& status, OutputFile& out,
                         const VolumeDescriptor& volume);

// Which copy routine handles the files of a volume.
enum class CopyRoutine {
  kNone,
  kNtfs,                // ExportNtfsFile
  kFat,                 // ExportFatFile
  kExfat,               // ExportExfatFile
  kSignature,           // ExportSignatureFile
  kContiguousClusters,  // ExportContiguousClusters
  kRebuiltExfat,        // ExportRebuiltExfatFile
};
// The partition type decides before the file-system kind, so a volume the
// deep scan rebuilt from an NTFS or FAT boot sector is copied as one.
CopyRoutine ChooseCopyRoutine(const VolumeDescriptor& volume);
// Copies the node's content with `routine` (not kNone) into `out`.
bool CopyNodeContent(CopyRoutine routine, const VolumeDescriptor& volume, const FileNode& node, OutputFile& out,
                     StatusMessage& status);

}  // namespace kestrum
