#pragma once
// Copying ticked files and folders of a recovered tree into a folder the
// user chose. One worker walks the selection, creates folders, and hands each
// file to the copy routine of its file system; the presenter watches the
// kind-3 status messages it posts.

#include <cstdint>
#include <string>
#include <vector>

#include "run/progress_runner.h"
#include "run/worker_state.h"
#include "disk/volume_descriptor.h"
#include "fs/copy_out.h"
#include "fs/output_file.h"
#include "fs/tree/file_node.h"
#include "fs/tree/volume_set.h"

namespace kestrum {

struct ExportJob { const VolumeSet* set = nullptr; std::u16string target; std::vector<std::uint32_t> indices; };

// Runs SaveAllToDirThread behind the presenter; true when the run state ended "finished".
bool RunExport(const VolumeSet& set, const std::u16string& target, const std::vector<std::uint32_t>& indices, ProgressPresenter& presenter);
void SaveAllToDirThread(ExportJob& job);
// Whether writing into `target` could overwrite the device `volume` is read from.
bool TargetIsOnSourceDevice(const std::u16string& target, const VolumeDescriptor& volume);
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);

// The unit in which a file found by its content is read and written.
constexpr std::uint32_t kExportChunkSectors = kCopyChunkSectors;
constexpr std::uint32_t kExportChunkBytes = static_cast<std::uint32_t>(kCopyChunkBytes);  // 1 MiB

// Recreates the visible part of each indexed node of the current volume
// under `folder`: folders become directories (an existing one is merged
// into), files are copied (an existing file is replaced). The root stands
// for its children. Names are made safe first (export_names.h); siblings
// whose safe names coincide get " (2)", " (3)", … rather than overwrite each
// other, and nothing is ever written through a symbolic link or a special
// file found in the target. Returns early only on abort.
void ExportNodes(const VolumeSet& set, const std::u16string& folder,
                 const std::vector<std::uint32_t>& indices, StatusMessage& status);

// Creates (or empties) the file at `path` and copies the node's content into
// it with the routine of the current volume's file system. An empty file is
// only created. False when the file cannot be created or the routine failed.
bool ExportOneFile(const std::u16string& path, StatusMessage& status, const FileNode& node,
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

}  // namespace kestrum
