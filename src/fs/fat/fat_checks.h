#pragma once
// Small tests the deep scan puts to sectors it suspects of being FAT
// structures: a boot sector followed by a real FAT, a plausible FAT sector,
// a plausible volume-label entry.

#include "base/byte_order.h"
#include "disk/device.h"

namespace kestrum {

// Whether the FAT boot sector found at `sector` of the device is followed by
// a FAT: the first sector of the first copy (or else of the second, with two
// copies) starts with the media entry and looks like a FAT.
bool CheckFatAt(const DeviceHandle& device, ByteView bootSector, Sector64 sector);

// A sector of 32-bit FAT entries of which more than 96 of entries 2 … 127
// are free, end-of-chain (0x0FFFFFFF) or point at the next cluster.
bool IsPlausibleFat32Sector(ByteView sector);
// A sector of 16-bit FAT entries of which more than 192 of entries 2 … 255
// are free, end-of-chain (0xFFFF) or point at the next cluster: a FAT of
// one-cluster files is all end marks.
bool IsPlausibleFat16Sector(ByteView sector);

// Whether a 32-byte entry is a volume label: the label attribute alone;
// creation time and date, access date, both cluster words and the size all
// zero (a label carries only a write time); and a name of printable ASCII
// or double-byte (GBK-range) characters.
bool IsVolumeLabelEntry(ByteView entry);

}  // namespace kestrum
