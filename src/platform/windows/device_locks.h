#pragma once
// Before the repair writes a disk, every mounted volume on it is locked and
// dismounted, so that no file system writes over the new tables or keeps a
// stale view of them; the locks are held until the disk is closed.

#include <string>

namespace kestrum::platform {

// False (errno EBUSY, and the refusal kept for LastOpenRefusal) when a
// volume on the disk will not lock: nothing may be written then.
bool LockVolumesOfDisk(int fd, std::u16string_view diskPath);
void ReleaseVolumeLocks(int fd);

}  // namespace kestrum::platform
