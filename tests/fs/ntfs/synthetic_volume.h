#pragma once
// A small NTFS volume made byte by byte, with one record of each kind the
// reader has to tell apart. Record numbers and clusters are named here so
// the tests can check them.

#include <string>

#include "disk/volume_descriptor.h"
#include "ntfs_builder.h"

namespace kestrum::test {

struct SyntheticVolume {
  static constexpr std::uint32_t kSectors = 8192;  // 4 MiB, 1024 clusters of 4 KiB
  static constexpr std::uint32_t kMftClusters = 64;  // 256 records
  static constexpr std::uint32_t kRecords = kMftClusters * 8 / 2;

  static constexpr std::uint32_t kDocs = 30;         // folder under the root
  static constexpr std::uint32_t kResident = 31;     // docs/a.txt, content in the record
  static constexpr std::uint32_t kDeleted = 32;      // docs/old.bin, deleted, clusters 200–201
  static constexpr std::uint32_t kOrphan = 33;       // parent 200 holds nothing
  static constexpr std::uint32_t kPosix = 34;        // only a POSIX name
  static constexpr std::uint32_t kDosOnly = 35;      // only an 8.3 alias: not listed
  static constexpr std::uint32_t kMisnumbered = 36;  // claims record 9999: dropped
  static constexpr std::uint32_t kDataFirst = 37;    // $DATA before its name: rejected
  static constexpr std::uint32_t kTrash = 40;        // deleted folder
  static constexpr std::uint32_t kTrashFile = 41;    // trash/gone.txt, deleted
  static constexpr std::uint32_t kHoles = 42;        // sparse.bin: cluster 210, a hole, cluster 215

  static constexpr std::uint32_t kDeletedCluster = 200;
  static constexpr std::uint32_t kHoleFirstCluster = 210;
  static constexpr std::uint32_t kHoleLastCluster = 215;
  static constexpr std::uint64_t kHolesSize = 4 * 4096 - 100;
  static constexpr std::int64_t kMtime = 1700000000;

  static std::string DeletedContent();  // 8000 bytes
  static std::string HolesContent();    // what sparse.bin exports to

  // The standard volume at `start` on an image of start + kSectors sectors.
  explicit SyntheticVolume(std::uint32_t start = 0);

  // Writes the image and gives the descriptor.
  VolumeDescriptor Write(const std::string& path) { return volume.Write(path); }

  TestVolume volume;
};

}  // namespace kestrum::test
