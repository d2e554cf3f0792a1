#include "fs/part_data_thread.h"

#include "run/worker_state.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/fat/fat_reader.h"
#include "fs/ntfs/ntfs_reader.h"

namespace kestrum {

bool ReadVolumeFileSystem(VolumeDescriptor& volume) {
  switch (volume.fsKind) {
    case kFsNtfs: return ReadNtfsVolume(volume);
    case kFsFat16:
    case kFsFat32: return ReadFatVolume(volume);
    case kFsExfat: return ReadExfatVolume(volume);
    default: return false;
  }
}

void GetPartDataThread(PartDataJob& job) {
  BeginWorker("GetPartDataThread");
  job.readOk = ReadVolumeFileSystem(job.volume);
  RequestFinish();
  EndWorker("GetPartDataThread");
}

}  // namespace kestrum
