// One MFT file record, as the reader and the scan's record summaries parse it.
#include <vector>

#include "fs/ntfs/file_record.h"
#include "scan/scan_finding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  std::vector<std::uint8_t> record(data, data + size);
  ApplyFixup(record);
  FileNode node;
  NodeStrings strings;
  ParseFileRecord(record, node, strings);
  ScanFinding finding;
  SummariseRecordBytes(record, finding);
  return 0;
}
