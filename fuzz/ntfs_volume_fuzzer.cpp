// The whole NTFS reader on a small image: the input is its sectors as
// records (FuzzImage::SectorRecords), every other sector zero.
#include "fs/ntfs/ntfs_reader.h"
#include "fs/tree/volume_set.h"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  fuzz::PrepareRun();
  fuzz::FuzzImage image(fuzz::FuzzImage::SectorRecords{}, data, size);
  VolumeDescriptor volume = image.Volume(kFsNtfs, 7);
  if (ReadNtfsVolume(volume)) {
    // The browser's walk over what was read.
    VolumeSet set;
    set.AddVolume(volume);
    for (std::int32_t view : {kViewExistingFiles, kViewDeletedFiles}) {
      set.viewMode = view;
      std::vector<std::uint32_t> children;
      set.ListVisibleChildren(0, kRootNodeId, children, false);
    }
  }
  return 0;
}
