#pragma once
// BitLocker-encrypted volumes, recognised by their boot sector: the volume
// cannot be read until Windows unlocks it, and what a BitLocker To Go volume
// shows as FAT (the reader program and its cover files) is none of the
// user's data.

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"

namespace kestrum {

namespace bitlocker {
// "-FVE-FS-" where a file system keeps its OEM name.
constexpr std::size_t kSignature = 3;  // 8 bytes
// The cover FAT volume of BitLocker To Go keeps the identifier
// 4967D63B-2E29-4AD8-8399-F6A339E3D001 here, in its on-disk byte order.
constexpr std::size_t kToGoIdentifier = 0x1A8;  // 16 bytes
constexpr std::array<std::uint8_t, 8> kSignatureBytes = {'-', 'F', 'V', 'E', '-', 'F', 'S', '-'};
constexpr std::array<std::uint8_t, 16> kToGoIdentifierBytes = {0x3B, 0xD6, 0x67, 0x49, 0x29, 0x2E, 0xD8, 0x4A,
                                                               0x83, 0x99, 0xF6, 0xA3, 0x39, 0xE3, 0xD0, 0x01};
}  // namespace bitlocker

// Whether the first sector of a volume is that of a BitLocker volume.
bool IsBitLockerBootSector(ByteView sector);

// The file-system name of such a volume, and what a user is told who wants
// to read it.
inline constexpr char16_t kBitLockerFsName[] = u"BitLocker";
inline constexpr char16_t kBitLockerMessage[] = u"此分区已被 BitLocker 加密，请先在 Windows 中解锁后再恢复";

}  // namespace kestrum
