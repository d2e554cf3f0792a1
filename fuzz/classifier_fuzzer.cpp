// The sector classifier over a block of the input, with the payloads of its
// findings (MFT record summaries read past the block from the input image)
// and the file extents assigned after it.
#include <vector>

#include "fuzz_image.h"
#include "scan/block_findings.h"
#include "scan/file_extents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  if (size < 512) return 0;
  fuzz::FuzzImage image(data, size);
  DeviceHandle device;
  if (!image.Open(device)) return 0;
  const std::size_t whole = size / 512 * 512;
  std::vector<ScanFinding> findings;
  CollectBlockFindings(ByteView(data, whole), 0, device, findings);
  AssignFileExtents(findings, whole / 512 + 64);
  CloseDevice(device);
  return 0;
}
