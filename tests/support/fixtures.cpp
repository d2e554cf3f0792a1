#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

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
