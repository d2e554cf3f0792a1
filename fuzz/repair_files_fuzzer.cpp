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

// Parses `input`; whatever parses must serialize, and parse again to the
// same bytes.
template <typename File, typename Parse, typename Serialize>
void CheckRoundTrip(ByteView input, Parse parse, Serialize serialize) {
  File file;
  if (!parse(input, file)) return;
  std::vector<std::uint8_t> once, twice;
  if (!serialize(file, once)) std::abort();
  File again;
  if (!parse(ByteView(once), again) || !serialize(again, twice) || once != twice) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView input(data, size);
  CheckRoundTrip<RepairHistory>(input, ParseHistory, SerializeHistory);
  CheckRoundTrip<FoundPartitionFile>(input, ParseFoundPartitions, SerializeFoundPartitions);
  return 0;
}
