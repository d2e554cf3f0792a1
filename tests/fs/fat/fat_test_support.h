#pragma once
// Builders for FAT tests: 32-byte directory entries and long-name sets, a
// small FAT16 or FAT32 volume written byte by byte into an image file, the
// fixture volumes as descriptors, and the tree of a read volume as paths.

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"
#include "support/sector_image.h"

namespace kestrum::test {

using Entry = std::array<std::uint8_t, 32>;

// DOS date and time fields.
constexpr std::uint16_t DosDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

// A short entry; `name11` is the 8 + 3 stored bytes (padded with spaces here).
Entry ShortEntry(std::string_view name11, std::uint8_t attribute, std::uint32_t cluster = 0,
                 std::uint32_t size = 0);

// The long-name entries of `name` for `shortEntry`, in stored order (the part
// with ordinal 0x40 | n first).
std::vector<Entry> LongNameEntries(std::u16string_view name, const Entry& shortEntry);

// The bytes of a directory, built entry by entry.
class DirBytes {
 public:
  DirBytes& Add(const Entry& entry);
  // The long-name set, then the short entry.
  DirBytes& AddLong(std::u16string_view name, const Entry& shortEntry);
  // "." and "..", as a subdirectory starts.
  DirBytes& AddDots(std::uint32_t self, std::uint32_t parent);
  std::size_t EntryCount() const { return bytes.size() / 32; }
  std::uint8_t* EntryData(std::size_t index) { return bytes.data() + index * 32; }

  std::vector<std::uint8_t> bytes;
};

// A small FAT volume at sector kStart of an image: spc 1, two FATs. FAT16:
// 4200 sectors, so that it has the 4085 clusters 16-bit entries need, FATs
// at 33 and 50 (17 sectors each), root region from 67 (32 entries unless
// told: 2 sectors), clusters after it. FAT32: 400 sectors, FATs at 36 and 40
// (4 sectors each), root at cluster 2, cluster 2 at 44.
class SyntheticFat {
 public:
  static constexpr std::uint32_t kStart = 32;
  static constexpr std::uint32_t kFat16Sectors = 4200;
  static constexpr std::uint32_t kFat32Sectors = 400;

  explicit SyntheticFat(bool fat32, std::uint32_t rootEntries = 32);

  bool fat32() const { return fat32_; }
  std::uint32_t VolumeSectors() const { return fat32_ ? kFat32Sectors : kFat16Sectors; }
  std::uint32_t FatSectors() const { return fat32_ ? 4 : 17; }
  std::uint32_t FirstFatSector() const { return kStart + (fat32_ ? 4 : 1); }
  std::uint32_t RootRegionSector() const { return kStart + 1 + 2 * FatSectors(); }  // FAT16
  std::uint32_t FirstDataSector() const {
    return fat32_ ? kStart + 4 + 2 * FatSectors() : RootRegionSector() + (rootEntries_ * 32 + 511) / 512;
  }
  // Valid clusters are 2 … ClusterCount() + 1.
  std::uint32_t ClusterCount() const { return kStart + VolumeSectors() - FirstDataSector(); }
  std::uint32_t RootCluster() const { return 2; }  // FAT32
  std::uint64_t ClusterSector(std::uint32_t cluster) const { return FirstDataSector() + (cluster - 2); }

  // The FAT entry of a cluster, in both copies.
  void SetFat(std::uint32_t cluster, std::uint32_t value);
  // Links the clusters in order and ends the chain after the last.
  void Chain(const std::vector<std::uint32_t>& clusters);
  // Writes bytes from the start of a cluster on (0: the FAT16 root region).
  void Put(std::uint32_t cluster, const std::vector<std::uint8_t>& bytes);
  // Bytes of the root directory: the FAT16 region, or FAT32's root cluster.
  void PutRoot(const std::vector<std::uint8_t>& bytes) { Put(fat32_ ? RootCluster() : 0, bytes); }

  std::vector<std::uint8_t>& BootSector() { return image.Sector(kStart); }
  // Writes the image and answers a descriptor for it, as discovery makes one.
  VolumeDescriptor Write(const std::string& path);

  SectorImage image;

 private:
  bool fat32_;
  std::uint32_t rootEntries_;
};

// A FAT volume image made by mkfs.vfat (one sector a cluster) and filled
// with mtools, for what other systems leave on disk: its entries can then be
// edited byte by byte.
class MtoolsFat {
 public:
  // `bits` 12, 16 or 32; `size` as truncate takes it ("16M").
  MtoolsFat(std::string image, const std::string& bits, const std::string& size, const std::string& label);

  const std::string& path() const { return image_; }
  // An mtools command on the image: {"mcopy", FILE, "::dir/NAME"}; fails
  // the test when it does.
  void Run(std::vector<std::string> command) const;
  // Writes `bytes` into a file named `name` on the volume (a path from its root).
  void Put(const std::string& name, const std::string& bytes) const;
  // Applies `edit` to every directory entry whose 11 name bytes are `name11`
  // (the first byte E5 for a deleted one) and answers how many there were.
  int EditEntries(std::string_view name11, void (*edit)(std::uint8_t* entry)) const;
  // The descriptor discovery would make for the image.
  VolumeDescriptor Descriptor() const;

 private:
  std::string image_;
  bool fat32_;
};

struct ListedNode {
  std::uint32_t index = 0;
  NodeType type = kDeletedFile;
  std::uint64_t size = 0;
  std::int64_t mtime = 0;  // Unix seconds
  std::uint32_t location = 0;
};

// Every node below the root of a linked tree, by '/'-separated UTF-8 path
// (the LostFile folder and its content under "LostFile/").
std::map<std::string, ListedNode> ListTree(const VolumeDescriptor& volume);
// All nodes of a folder's child list, by name.
std::vector<std::string> ChildNames(const VolumeDescriptor& volume, std::uint32_t folder);

std::int64_t FileTimeToUnix(std::uint64_t fileTime);

// One FAT volume of the fixtures: where it lies and what it must hold.
struct FatFixture {
  std::string label;  // for test names
  std::string image;
  std::string manifest;
  std::string info;
  FsKind kind;
};
const std::vector<FatFixture>& FatFixtures();
// How test names and failures show a fixture.
inline void PrintTo(const FatFixture& fixture, std::ostream* os) { *os << fixture.label; }
// A descriptor of the fixture volume, its boot sector read from the image.
VolumeDescriptor FixtureDescriptor(const FatFixture& fixture);

}  // namespace kestrum::test
