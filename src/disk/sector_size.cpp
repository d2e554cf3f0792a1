#include "disk/sector_size.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace kestrum {

std::uint32_t QueryLogicalSectorSize(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) return 0;
  int bytes = 0;
  if (::ioctl(fd, BLKSSZGET, &bytes) != 0 || bytes <= 0) return 0;
  return static_cast<std::uint32_t>(bytes);
}

}  // namespace kestrum
