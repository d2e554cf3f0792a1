// MBR, EBR chains and GPT: the input is the start of a disk.
#include "disk/partition_table.h"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  if (size >= 512) {
    ParseTableEntries(ByteView(data, 512));
    HasBootSignature(ByteView(data, 512));
  }
  fuzz::FuzzImage image(data, size, 512);
  DeviceHandle disk;
  if (!image.Open(disk)) return 0;
  std::vector<PartitionEntry> partitions;
  ReadPartitionTable(disk, partitions);
  CloseDevice(disk);
  return 0;
}
