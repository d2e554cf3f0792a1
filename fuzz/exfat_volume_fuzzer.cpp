// The whole exFAT reader on a small image: the input is its sectors as
// records (FuzzImage::SectorRecords), every other sector zero.
#include "fs/exfat/exfat_reader.h"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return kestrum::fuzz::ReadWholeVolume(data, size, kestrum::kFsExfat, 7, kestrum::ReadExfatVolume);
}
