// NTFS directory indexes: the entries of $INDEX_ROOT and INDX blocks, and a
// directory record whose $INDEX_ALLOCATION runs point into the input itself.
#include <vector>

#include "fs/ntfs/file_record.h"
#include "fs/ntfs/ntfs_index.h"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  std::vector<std::uint32_t> children;
  for (std::size_t first : {std::size_t{0}, std::size_t{16}, std::size_t{64}}) {
    CollectIndexEntries(ByteView(data, size), first, children);
  }
  if (size < 1024) return 0;
  // The first 1024 bytes are the directory's record; the image is the volume
  // (clusters of one sector) its runs point into.
  std::vector<std::uint8_t> record(data, data + 1024);
  ApplyFixup(record);
  fuzz::FuzzImage image(data, size, 4096);
  VolumeDescriptor volume = image.Volume(kFsNtfs, 7);
  volume.bootSector[0x0B] = 0x00;
  volume.bootSector[0x0C] = 0x02;
  volume.bootSector[0x0D] = 1;
  DeviceHandle device;
  if (!image.Open(device)) return 0;
  CollectIndexChildren(record, device, volume, children);
  CloseDevice(device);
  return 0;
}
