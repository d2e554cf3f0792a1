#pragma once
// Volumes that say they are BitLocker-encrypted. No Linux tool writes
// BitLocker, so real volumes get its identifying bytes by hand: a FAT32
// volume (mkfs.vfat, cover files by mtools) the BitLocker To Go identifier
// at 0x1A8, an NTFS volume (mkfs.ntfs) the "-FVE-FS-" signature at 3.

#include <string>

namespace kestrum::test {

struct BitLockerImages {
  std::string toGo;  // FAT32, 40 MiB, with README.TXT and COV0000.ER
  std::string fve;   // NTFS, 16 MiB
  std::string disk;  // an MBR disk: toGo at 2048 (type 0C), fve after it (07)
};

// Builds them in `dir`; fails the test when a tool does.
BitLockerImages MakeBitLockerImages(const std::string& dir);

}  // namespace kestrum::test
