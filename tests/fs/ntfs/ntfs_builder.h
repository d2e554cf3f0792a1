#pragma once
// Byte-level NTFS pieces for tests: FILE records with chosen attributes,
// run lists, index entries and INDX blocks, and small volumes made of them.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/volume_descriptor.h"
#include "support/sector_image.h"

namespace kestrum::test {

using Bytes = std::vector<std::uint8_t>;

// FILETIME of Unix seconds.
std::uint64_t FileTimeOf(std::int64_t unixSeconds);

// One run for EncodeRuns: `sparse` runs get no offset field.
struct TestRun {
  std::int64_t delta = 0;  // clusters from the previous run's start
  std::uint64_t length = 0;
  bool sparse = false;
};
// Mapping pairs with the smallest fields, ending in a zero byte.
Bytes EncodeRuns(const std::vector<TestRun>& runs, bool terminate = true);

// One entry of an index, keyed by a $FILE_NAME.
struct TestIndexEntry {
  std::uint32_t record = 0;
  std::u16string name;
  std::uint8_t nameSpace = 1;
};
// Entries as they stand in an index node, the closing entry included.
Bytes EncodeIndexEntries(const std::vector<TestIndexEntry>& entries);
// An INDX block of `size` bytes holding the entries.
Bytes EncodeIndxBlock(const std::vector<TestIndexEntry>& entries, std::size_t size = 4096);

// A FILE record as it stands in memory after the fixup. Attributes go in the
// order they are added.
class RecordBuilder {
 public:
  explicit RecordBuilder(std::uint32_t number, std::uint8_t flags = 1);

  RecordBuilder& StandardInfo(std::uint64_t created, std::uint64_t modified);
  RecordBuilder& FileName(std::uint32_t parent, const std::u16string& name,
                          std::uint8_t nameSpace = 1, std::uint16_t parentSequence = 1);
  // The record's own sequence number (1 unless set).
  RecordBuilder& Sequence(std::uint16_t sequence) {
    sequence_ = sequence;
    return *this;
  }
  RecordBuilder& ResidentData(const std::string& content);
  RecordBuilder& NonResidentData(const Bytes& runList, std::uint64_t realSize);
  RecordBuilder& VolumeName(const std::u16string& label);
  RecordBuilder& IndexRoot(const std::vector<TestIndexEntry>& entries);
  RecordBuilder& IndexAllocation(const Bytes& runList);
  // Any resident attribute with the value given.
  RecordBuilder& Resident(std::uint32_t type, const Bytes& value);

  // Where the i-th attribute added starts in the record.
  std::size_t AttributeOffset(std::size_t i) const { return offsets_.at(i); }
  // The 1024 bytes, end marker included, as they stand after the fixup.
  Bytes Build() const;
  // The same bytes as written on disk: the update sequence number at the
  // sector ends (the tails saved at 0x32 and 0x34 are Build()'s).
  Bytes OnDisk(std::uint16_t sequence = 0x0001) const;

 private:
  void Append(const Bytes& attribute);

  std::uint32_t number_;
  std::uint8_t flags_;
  std::uint16_t sequence_ = 1;
  Bytes attributes_;
  std::vector<std::size_t> offsets_;
};

// A volume of `sectors` sectors at `start` in an image file, with
// `clusterSectors` sectors a cluster, the MFT at cluster `mftCluster` and the
// mirror at `mirrorCluster`. Records are placed where a contiguous MFT puts
// them; record 0 is added by the caller (MftRecord gives the usual one).
class TestVolume {
 public:
  TestVolume(std::uint32_t sectors, std::uint32_t start = 0, std::uint8_t clusterSectors = 8,
             std::uint32_t mftCluster = 16, std::uint32_t mirrorCluster = 8);

  SectorImage& image() { return image_; }
  std::uint32_t clusterSectors() const { return spc_; }
  std::uint64_t MftSector() const { return start_ + std::uint64_t{mftCluster_} * spc_; }
  std::uint64_t MirrorSector() const { return start_ + std::uint64_t{mirrorCluster_} * spc_; }
  std::uint64_t ClusterSector(std::uint64_t cluster) const { return start_ + cluster * spc_; }

  // Record 0 with one $DATA run of `clusters` clusters at the MFT cluster.
  RecordBuilder MftRecord(std::uint32_t clusters) const;
  void PutRecord(std::uint32_t number, const RecordBuilder& record);
  void PutMirrorRecord(std::uint32_t number, const RecordBuilder& record);
  void PutRawRecord(std::uint64_t sector, const Bytes& onDisk);
  void PutBytesAtCluster(std::uint64_t cluster, const std::string& bytes);
  void SetBootByte(std::size_t offset, std::uint8_t value) { image_.Put8(start_, offset, value); }

  // Writes the image and returns a descriptor for the volume on it.
  VolumeDescriptor Write(const std::string& path);

 private:
  SectorImage image_;
  std::uint32_t sectors_;
  std::uint32_t start_;
  std::uint8_t spc_;
  std::uint32_t mftCluster_;
  std::uint32_t mirrorCluster_;
};

}  // namespace kestrum::test
