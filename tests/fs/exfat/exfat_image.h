#pragma once
// Small exFAT volumes built byte by byte for the reader's tests: a boot
// sector, a FAT, a bitmap, and directories whose entry sets the test writes.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/volume_descriptor.h"
#include "support/sector_image.h"

namespace kestrum::test {

// DOS date and time fields of a timestamp.
struct DosStamp {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
};
DosStamp MakeDosStamp(int year, int month, int day, int hour, int minute, int second);

// One entry set as it stands in a directory.
struct EntrySetFields {
  std::string name;  // UTF-8
  bool folder = false;
  bool deleted = false;
  bool noFatChain = false;
  std::uint64_t size = 0;  // valid data length
  std::uint32_t firstCluster = 0;
  DosStamp created = MakeDosStamp(2021, 3, 4, 5, 6, 8);
  DosStamp modified = MakeDosStamp(2022, 7, 8, 9, 10, 12);
};

// The 32-byte entries of a set: file entry, stream, names.
std::vector<std::uint8_t> EntrySetBytes(const EntrySetFields& set);
std::vector<std::uint8_t> LabelEntry(const std::string& label, bool deleted = false);
std::vector<std::uint8_t> BitmapEntry(std::uint32_t firstCluster, std::uint64_t length);
std::vector<std::uint8_t> UpcaseEntry(std::uint32_t firstCluster);

struct ExfatLayout {
  std::uint32_t startSector = 0;  // where the volume lies in the image
  std::uint32_t fatOffset = 16;
  std::uint32_t fatLength = 8;
  std::uint32_t heapOffset = 32;
  std::uint32_t clusterCount = 400;
  std::uint32_t rootCluster = 4;
  std::uint32_t clusterShift = 0;  // 512-byte clusters keep the images small
  std::uint32_t bitmapCluster = 2;
  std::uint32_t upcaseCluster = 3;
};

class ExfatImage {
 public:
  explicit ExfatImage(const ExfatLayout& layout = {});

  const ExfatLayout& layout() const { return layout_; }
  std::uint32_t ClusterBytes() const { return 512u << layout_.clusterShift; }
  std::uint64_t ClusterSector(std::uint32_t cluster) const;

  void SetFat(std::uint32_t cluster, std::uint32_t value);
  // Links the clusters in order and ends the chain; marks them in the bitmap.
  void Chain(const std::vector<std::uint32_t>& clusters);
  void MarkAllocated(std::uint32_t cluster);
  // Writes bytes across the given clusters, in order, from the first's start.
  void PutInClusters(const std::vector<std::uint32_t>& clusters, const std::vector<std::uint8_t>& bytes);
  // A root directory in the given clusters: label, bitmap and up-case
  // entries, then `entries`; chained through the FAT.
  void WriteRoot(const std::vector<std::uint8_t>& entries, const std::vector<std::uint32_t>& clusters = {});

  SectorImage& image() { return image_; }
  void WriteTo(const std::string& path);
  // A descriptor as discovery makes it for this volume in the image file.
  VolumeDescriptor Descriptor(const std::string& path);

 private:
  ExfatLayout layout_;
  SectorImage image_;
};

// Bytes of one or more sets, joined.
std::vector<std::uint8_t> Join(const std::vector<std::vector<std::uint8_t>>& parts);
// Content with a recognisable pattern: byte i is a function of seed and i.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed);

}  // namespace kestrum::test
