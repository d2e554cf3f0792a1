#pragma once
// The images the fixture builder made with the real tools, and their manifests.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
// key=value lines of NAME.info.
std::map<std::string, std::string> LoadInfo(const std::string& infoName);

// A file of the damaged-volume collection that ships with the tests.
std::string TestDataPath(const std::string& relative);
// Unpacks every tar.xz of a test-data folder into `dir`; the paths of the images.
std::vector<std::string> UnpackTestData(const std::string& folder, const std::string& dir);

}  // namespace kestrum::test
