// The FAT boot sector: its geometry and the plausibility checks that read the
// FATs and the root directory of the input as a volume.
#include "fs/fat/fat_checks.h"
#include "fs/fat/fat_layout.h"
#include "fuzz_image.h"
#include "scan/boot_sector_tests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  fuzz::FuzzImage image(data, size, 512);
  VolumeDescriptor volume = image.Volume(kFsFat32, 0x0B);
  ByteView boot(volume.bootSector);
  IsFat16BootSector(boot);
  IsFat32BootSector(boot);
  IsPlausibleFat16Sector(boot);
  IsPlausibleFat32Sector(boot);
  FatGeometryOf(boot, 0, true);
  FatGeometryOf(boot, 0, false);
  DeviceHandle device;
  if (!image.Open(device)) return 0;
  CheckFatAt(device, boot, 0);
  CloseDevice(device);
  return 0;
}
