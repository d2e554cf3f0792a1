// The exFAT boot sector: the descriptor made from it and the boot check that
// reads the FAT, the bitmap and the root directory of the input as a volume.
#include "fs/exfat/exfat_reader.h"
#include "fuzz_image.h"
#include "scan/boot_sector_tests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  fuzz::FuzzImage image(data, size, 512);
  VolumeDescriptor volume = image.Volume(kFsExfat, 7);
  IsExfatBootSector(volume.bootSector);
  DeviceHandle device;
  if (!image.Open(device)) return 0;
  VolumeDescriptor made;
  MakeExfatDescriptor(made, device, volume.bootSector, 0);
  CheckExfatAt(0, volume.bootSector, device);
  CloseDevice(device);
  return 0;
}
