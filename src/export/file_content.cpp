#include "export/file_content.h"

#include <algorithm>

#include "export/export_files.h"
#include "fs/output_file.h"

namespace kestrum {

bool ReadFileStart(const VolumeDescriptor& volume, const FileNode& node, std::uint64_t limit, FileStart& out,
                   const std::atomic<bool>* cancel) {
  out = FileStart{};
  // The routines read only as far as the size they are given.
  FileNode wanted = node;
  wanted.size = std::min(node.size, limit);
  out.whole = wanted.size == node.size;
  OutputFile memory;
  if (!memory.CreateInMemory(cancel)) {
    out.result.failure = ExportFailure::kCannotCreate;
    out.result.error = memory.Record().writeError;
    return false;
  }
  if (wanted.size == 0) {
    out.result.result = ExportResult::kCopied;
    return true;
  }
  const CopyRoutine routine = ChooseCopyRoutine(volume);
  if (routine == CopyRoutine::kNone) {
    out.result.failure = ExportFailure::kUnsupported;
    return false;
  }
  StatusMessage status;  // kind 0: counted, never posted
  const bool copied = CopyNodeContent(routine, volume, wanted, memory, status);
  out.result = JudgeCopy(copied, memory, wanted);
  memory.ReadBack(out.bytes);
  // A chain that gave out early still gave its bytes; a failed read gave none.
  return copied || !out.bytes.empty();
}

}  // namespace kestrum
