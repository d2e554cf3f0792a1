#pragma once
// The logical sector size an image file was made with, from what it holds:
// an image copied off a disk of 4096-byte sectors keeps its partition table
// in 4096-byte LBAs, and nothing else tells.

#include <cstdint>

#include "disk/device.h"

namespace kestrum {

// In this order: a file system from the first sector (its own sector size),
// a GPT header one sector in (at byte 512, 1024, 2048 or 4096), an MBR whose
// partitions begin with a boot sector of that sector size only when its
// LBAs count sectors of 4096 (or 2048, 1024) bytes; else 512.
std::uint32_t ImageSectorSize(const DeviceHandle& image);

}  // namespace kestrum
