#include "disk/sector_size.h"

#include "platform/files.h"

namespace kestrum {

std::uint32_t QueryLogicalSectorSize(int fd) { return platform::DeviceSectorBytes(fd); }

}  // namespace kestrum
