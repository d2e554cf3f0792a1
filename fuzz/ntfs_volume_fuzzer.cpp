// The whole NTFS reader on a small image: the input is its sectors as
// records (FuzzImage::SectorRecords), every other sector zero.
#include "fs/ntfs/ntfs_reader.h"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return kestrum::fuzz::ReadWholeVolume(data, size, kestrum::kFsNtfs, 7, kestrum::ReadNtfsVolume);
}
