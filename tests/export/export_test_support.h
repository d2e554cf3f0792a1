#pragma once
// Helpers for the export tests: fixture volumes read into a VolumeSet, hand
// built trees, presenters that watch or stop an export, and the tree an
// export left on disk.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run/progress_runner.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"
#include "support/tree_builder.h"

namespace kestrum::test {

// A fixture volume read by its reader, as the CLI finds it: `partition` 0
// for a whole-file volume, else the N-th volume of the disk image.
bool ReadFixtureVolume(const std::string& image, int partition, VolumeSet& set,
                       std::int32_t viewMode);

// What an export left under a folder, by '/'-separated relative path; the
// report files at the top are left out.
struct WrittenItem {
  bool folder = false;
  bool symlink = false;
  std::uint64_t size = 0;
  std::int64_t mtime = 0;
  std::string sha256;  // files only
};
std::map<std::string, WrittenItem> WrittenTree(const std::string& root);

// Keeps the last export status; calls `onStatus` for every message it takes.
class WatchingPresenter : public ProgressPresenter {
 public:
  void Present(ProgressSession& session) override;
  std::function<void(const ExportStatus&, ProgressSession&)> onStatus;
  // Called on every poll, between messages too.
  std::function<void(ProgressSession&)> onPoll;
  ExportStatus last;
  int messages = 0;
};

// A box with the target folder inside: whatever escapes the target still
// lands in the box, where the test can see it.
struct Box {
  Box();
  TempDir dir;
  std::string target = dir.File("out");
};

// A volume of files found by content: each file's bytes at its own sector
// of an image, the first at sector 16, each followed by a free sector.
struct ContentVolume {
  explicit ContentVolume(std::uint64_t sectors = 4096) : image(sectors) {}
  std::uint32_t AddFile(const std::u16string& name, std::uint32_t parent, const std::string& content);
  std::uint32_t AddFolder(const std::u16string& name, std::uint32_t parent) {
    return tree.Add(name, kFolder, parent);
  }
  void Finish(VolumeSet& set);
  std::string ImagePath() const { return imageDir.File("found.img"); }

  TempDir imageDir;
  SectorImage image;
  TreeBuilder tree;
  std::uint32_t nextSector = 16;
};

// Bytes that differ from sector to sector.
std::string Pattern(std::size_t size);

// Clears the read faults before and after each test.
class WithReadFaults : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace kestrum::test
