#pragma once
// Helpers for the export tests: fixture volumes read into a VolumeSet, hand
// built trees, presenters that watch or stop an export, and the tree an
// export left on disk.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "run/progress_runner.h"
#include "fs/tree/node_array.h"
#include "fs/tree/volume_set.h"
#include "support/tree_builder.h"

namespace kestrum::test {

// A fixture volume read by its reader, as the CLI finds it: `partition` 0
// for a whole-file volume, else the N-th volume of the disk image.
bool ReadFixtureVolume(const std::string& image, int partition, VolumeSet& set,
                       std::int32_t viewMode);

// What an export left under a folder, by '/'-separated relative path.
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

}  // namespace kestrum::test
