// The NTFS boot sector and the MFT checks it leads to: the input is a volume start.
#include "fs/ntfs/ntfs_index.h"
#include "fuzz_image.h"
#include "scan/boot_sector_tests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  fuzz::FuzzImage image(data, size, 512);
  VolumeDescriptor volume = image.Volume(kFsNtfs, 7);
  IsNtfsBootSector(volume.bootSector);
  DeviceHandle device;
  if (!image.Open(device)) return 0;
  CheckNtfsBootSector(0, volume.bootSector, device);
  CloseDevice(device);
  return 0;
}
