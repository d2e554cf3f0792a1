#pragma once
// The start of one file's content in memory, read by the same copy routine
// that exports it, so a preview shows what an export would give. Only the
// sectors the wanted bytes lie in are read.

#include <atomic>
#include <cstdint>
#include <vector>

#include "disk/volume_descriptor.h"
#include "export/export_report.h"
#include "fs/tree/file_node.h"

namespace kestrum {

struct FileStart {
  std::vector<std::uint8_t> bytes;
  bool whole = false;  // the bytes are all of the file
  FileExportResult result;
};

// Reads the first `limit` bytes of the node's content (all of it when the
// file is shorter). Independent of any running export: it posts no status
// and stops only when *cancel (if given) is set. False when nothing could be
// read; `out.result` says why.
bool ReadFileStart(const VolumeDescriptor& volume, const FileNode& node, std::uint64_t limit, FileStart& out,
                   const std::atomic<bool>* cancel = nullptr);

}  // namespace kestrum
