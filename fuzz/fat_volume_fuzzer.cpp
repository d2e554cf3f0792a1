// The whole FAT reader on a small image: the input is its sectors as
// records (FuzzImage::SectorRecords), every other sector zero. FAT16 or FAT32
// as the boot sector says (a 16-bit FAT size of 0 is FAT32's), as discovery
// decides.
#include "base/byte_order.h"
#include "fs/fat/fat_layout.h"
#include "fs/fat/fat_reader.h"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  return fuzz::ReadWholeVolume(data, size, kFsFat32, 0x0B, [](VolumeDescriptor& v) {
    if (ReadLe16(v.bootSector, fatboot::kFatSize16) != 0) {
      v.fsKind = kFsFat16;
      v.partitionType = 0x06;
    }
    return ReadFatVolume(v);
  });
}
