// The two files the repair keeps, the repair history and the saved result of
// a lost-partition scan: both are read back from disk and decide what is
// written to a partition table. Whatever parses must write back as the same
// bytes it parses again to, or undo would restore something else.
#include <cstdlib>
#include <vector>

#include "repair/found_partition_file.h"
#include "repair/repair_history.h"

namespace {

using namespace kestrum;
using namespace kestrum::repair;

void CheckHistory(ByteView input) {
  RepairHistory history;
  if (!ParseHistory(input, history)) return;
  std::vector<std::uint8_t> once, twice;
  if (!SerializeHistory(history, once)) std::abort();
  RepairHistory again;
  if (!ParseHistory(ByteView(once), again) || !SerializeHistory(again, twice) || once != twice) std::abort();
}

void CheckFoundPartitions(ByteView input) {
  FoundPartitionFile file;
  if (!ParseFoundPartitions(input, file)) return;
  std::vector<std::uint8_t> once, twice;
  if (!SerializeFoundPartitions(file, once)) std::abort();
  FoundPartitionFile again;
  if (!ParseFoundPartitions(ByteView(once), again) || !SerializeFoundPartitions(again, twice) || once != twice) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckHistory(ByteView(data, size));
  CheckFoundPartitions(ByteView(data, size));
  return 0;
}
