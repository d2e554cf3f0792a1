#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "support/run_command.h"

namespace kestrum::test {

namespace fs = std::filesystem;

std::string FixturePath(const std::string& name) {
  std::string path = std::string(KESTRUM_FIXTURE_DIR) + "/" + name;
  if (!fs::exists(path)) ADD_FAILURE() << "fixture missing: " << path << " (run the fixtures.build test)";
  return path;
}

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

}  // namespace

std::vector<ManifestEntry> LoadManifest(const std::string& manifestName) {
  std::vector<ManifestEntry> entries;
  std::ifstream in(FixturePath(manifestName));
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (header) {
      header = false;
      continue;
    }
    auto f = SplitTabs(line);
    if (f.size() < 6) continue;
    ManifestEntry e;
    e.deleted = f[0] == "deleted";
    e.folder = f[1] == "dir";
    e.path = f[2];
    e.size = std::stoull(f[3]);
    e.mtime = std::stoll(f[4]);
    e.sha256 = f[5];
    if (f.size() > 6) e.notes = f[6];
    entries.push_back(e);
  }
  EXPECT_FALSE(entries.empty()) << "empty manifest " << manifestName;
  return entries;
}

std::size_t CountUnder(const std::vector<ManifestEntry>& manifest, const std::string& folder) {
  const std::string prefix = folder + "/";
  return static_cast<std::size_t>(std::count_if(manifest.begin(), manifest.end(), [&](const ManifestEntry& e) {
    return e.path.compare(0, prefix.size(), prefix) == 0;
  }));
}

std::map<std::string, std::string> LoadInfo(const std::string& infoName) {
  std::map<std::string, std::string> info;
  std::ifstream in(FixturePath(infoName));
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) info[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return info;
}

std::vector<FixturePartition> LoadPartitions(bool withExtended) {
  std::vector<FixturePartition> parts;
  std::ifstream in(FixturePath("disk.partitions.tsv"));
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    auto f = SplitTabs(line);
    if (f.size() < 7) {
      ADD_FAILURE() << "short line in disk.partitions.tsv: " << line;
      continue;
    }
    FixturePartition p;
    p.number = std::stoi(f[0]);
    p.type = static_cast<std::uint8_t>(std::stoul(f[1], nullptr, 16));
    p.start = std::stoull(f[2]);
    p.sectors = std::stoull(f[3]);
    p.fs = f[4];
    p.label = f[5];
    p.manifest = f[6];
    if (withExtended || p.fs != "extended") parts.push_back(p);
  }
  EXPECT_FALSE(parts.empty()) << "empty disk.partitions.tsv";
  return parts;
}

std::string FixturePlatformName(const std::string& fs) {
  if (fs == "ntfs") return "NTFS";
  if (fs == "fat16") return "FAT";
  if (fs == "fat32") return "FAT32";
  if (fs == "exfat") return "exFAT";
  ADD_FAILURE() << "unknown fixture file system " << fs;
  return "?";
}

FsKind FixtureFsKind(const std::string& fs) {
  if (fs == "ntfs") return kFsNtfs;
  if (fs == "fat16") return kFsFat16;
  if (fs == "fat32") return kFsFat32;
  if (fs == "exfat") return kFsExfat;
  ADD_FAILURE() << "unknown fixture file system " << fs;
  return kFsUnknown;
}

VolumeDescriptor FixtureDescriptor(const std::string& image, const std::string& infoName) {
  auto info = LoadInfo(infoName);
  std::string path = FixturePath(image);
  VolumeDescriptor v;
  v.diskPath = FromUtf8(path);
  v.startSector = info.count("start") ? static_cast<Sector64>(std::stoul(info["start"])) : 0;
  v.sectorCount = static_cast<Sector64>(std::stoul(info.at("sectors")));
  v.fsKind = FixtureFsKind(info.at("fs"));
  v.partitionType = v.fsKind == kFsFat32 ? 0x0B : v.fsKind == kFsFat16 ? 0x06 : 0x07;
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(v.startSector) * 512);
  in.read(reinterpret_cast<char*>(v.bootSector.data()), 512);
  EXPECT_TRUE(in.good()) << "cannot read the boot sector of " << path << " at sector " << v.startSector;
  return v;
}

std::string TestDataPath(const std::string& relative) {
  return std::string(KESTRUM_TEST_DATA_DIR) + "/" + relative;
}

std::vector<std::string> UnpackTestData(const std::string& folder, const std::string& dir) {
  std::vector<std::string> images;
  for (const auto& entry : fs::directory_iterator(TestDataPath(folder))) {
    std::string name = entry.path().filename().string();
    const std::string suffix = ".tar.xz";
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    std::string stem = name.substr(0, name.size() - suffix.size());
    std::string target = dir + "/" + stem;
    fs::create_directories(target);
    CommandResult r = RunCommand({"tar", "-xJf", entry.path().string(), "-C", target});
    EXPECT_EQ(r.exitCode, 0) << "cannot unpack " << name << ": " << r.err;
    for (const auto& f : fs::recursive_directory_iterator(target)) {
      if (f.is_regular_file()) images.push_back(f.path().string());
    }
  }
  std::sort(images.begin(), images.end());
  return images;
}

}  // namespace kestrum::test
