#pragma once
// The images the fixture builder made with the real tools, and their manifests.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "disk/volume_descriptor.h"

namespace kestrum::test {

struct ManifestEntry {
  bool deleted = false;
  bool folder = false;
  std::string path;  // relative to the volume root, '/'-separated
  std::uint64_t size = 0;
  std::int64_t mtime = 0;  // Unix seconds, UTC
  std::string sha256;
  std::string notes;
};

// The path of a fixture file; fails the current test when it is missing.
std::string FixturePath(const std::string& name);
std::vector<ManifestEntry> LoadManifest(const std::string& manifestName);
// How many entries of a manifest lie under `folder` (e.g. "many": the
// KESTRUM_FIXTURE_MANY files, 1200 unless set).
std::size_t CountUnder(const std::vector<ManifestEntry>& manifest, const std::string& folder);
// key=value lines of NAME.info.
std::map<std::string, std::string> LoadInfo(const std::string& infoName);

// One partition of disk.img as the fixture builder made it (disk.partitions.tsv).
struct FixturePartition {
  int number = 0;
  std::uint8_t type = 0;
  std::uint64_t start = 0;
  std::uint64_t sectors = 0;
  std::string fs;  // ntfs, fat16, fat32, exfat, extended
  std::string label;
  std::string manifest;
};
// The partitions in table order; `withExtended` keeps the container entry,
// which holds no volume of its own.
std::vector<FixturePartition> LoadPartitions(bool withExtended = false);

// A descriptor of a fixture volume as the device page hands it to a reader:
// where NAME.info says it lies, its kind from the info's fs, the partition
// type discovery would give, and its boot sector read from the image.
VolumeDescriptor FixtureDescriptor(const std::string& image, const std::string& info);
// The name the platform's probe gives that file system (NTFS, FAT, FAT32, exFAT).
std::string FixturePlatformName(const std::string& fs);
// The kind a fixture's fs= names (ntfs, fat16, fat32, exfat).
FsKind FixtureFsKind(const std::string& fs);

// A file of the damaged-volume collection that ships with the tests.
std::string TestDataPath(const std::string& relative);
// Unpacks every tar.xz of a test-data folder into `dir`; the paths of the images.
std::vector<std::string> UnpackTestData(const std::string& folder, const std::string& dir);

}  // namespace kestrum::test
