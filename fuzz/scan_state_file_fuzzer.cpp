// The scan-state file loader. The input is the body; the harness puts the
// header in front (magic, version, length, checksum) so the fuzzer reaches
// the body's parser instead of stopping at the checksum. The raw input goes
// through the whole loader too.
#include <string>

#include "base/byte_order.h"
#include "scan/scan_state_file.h"
#include "scan/scan_state_layout.h"

namespace {

void Parse(const std::string& bytes) {
  kestrum::SavedScan saved;
  kestrum::ScanState state;
  std::u16string error;
  kestrum::ParseScanState(bytes, saved, state, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  const std::string body(reinterpret_cast<const char*>(data), size);
  Parse(body);
  std::string file(statefile::kBodyOffset, '\0');
  file.replace(statefile::kMagicOffset, 4, statefile::kMagic, 4);
  file += body;
  std::span<std::uint8_t> header(reinterpret_cast<std::uint8_t*>(file.data()), statefile::kBodyOffset);
  WriteLe32(header, statefile::kVersionOffset, statefile::kVersion);
  WriteLe64(header, statefile::kLengthOffset, file.size());
  WriteLe64(header, statefile::kChecksumOffset, ScanStateChecksum(file));
  Parse(file);
  return 0;
}
