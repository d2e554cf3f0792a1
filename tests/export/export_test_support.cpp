#include "export_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "fs/part_data_thread.h"
#include "base/text.h"
#include "discovery/discovery.h"
#include "platform/fault_injection.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/export_report.h"
#include "support/sha256.h"

namespace kestrum::test {

namespace fs = std::filesystem;

bool ReadFixtureVolume(const std::string& image, int partition, VolumeSet& set,
                       std::int32_t viewMode) {
  DiskSelection selection;
  selection.systemDisks = false;
  selection.paths = {FromUtf8(FixturePath(image))};
  DiskList disks;
  if (!EnumerateDisks(selection, disks, nullptr) || disks.empty()) return false;
  std::vector<VolumeExtent> extents = CollectVolumeExtents(disks[0], nullptr);
  std::size_t index = partition == 0 ? 0 : static_cast<std::size_t>(partition - 1);
  if (index >= extents.size()) return false;
  VolumeDescriptor volume;
  if (!ProbeDriveLetter(extents[index], disks, volume)) return false;
  PrepareRun();  // readers stop at once in a run state left "stopped" by an earlier test
  if (!ReadVolumeFileSystem(volume)) return false;
  set.ClearVolumes();
  set.AddVolume(volume);
  set.viewMode = viewMode;
  set.SelectVolume(0, nullptr, kRootNodeId);
  return true;
}

std::map<std::string, WrittenItem> WrittenTree(const std::string& root) {
  std::map<std::string, WrittenItem> items;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (ec) break;
    const fs::path& path = it->path();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    WrittenItem item;
    item.folder = S_ISDIR(st.st_mode);
    item.symlink = S_ISLNK(st.st_mode);
    item.mtime = st.st_mtime;
    if (S_ISREG(st.st_mode)) {
      item.size = static_cast<std::uint64_t>(st.st_size);
      item.sha256 = Sha256OfFile(path.string());
    }
    const std::string relative = fs::relative(path, root).string();
    if (IsReportFile(relative)) continue;  // the export's report, not a file it exported
    items[relative] = item;
  }
  return items;
}

void WatchingPresenter::Present(ProgressSession& session) {
  StatusMessage message;
  for (;;) {
    bool done = session.WorkersDone();
    while (session.Take(message)) {
      if (message.kind != StatusKind::kExport) continue;
      last = message.exportStatus;
      ++messages;
      if (onStatus) onStatus(last, session);
    }
    if (done) break;
    if (onPoll) onPoll(session);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

Box::Box() { fs::create_directory(target); }

std::uint32_t ContentVolume::AddFile(const std::u16string& name, std::uint32_t parent, const std::string& content) {
  std::uint32_t sector = nextSector;
  nextSector += static_cast<std::uint32_t>((content.size() + 511) / 512) + 1;
  image.PutAt(std::uint64_t{sector} * 512, content.data(), content.size());
  return tree.Add(name, kFile, parent, content.size(), sector);
}

void ContentVolume::Finish(VolumeSet& set) {
  image.WriteTo(imageDir.File("found.img"));
  tree.volume.diskPath = FromUtf8(imageDir.File("found.img"));
  tree.volume.sectorCount = static_cast<Sector64>(image.sectors());
  tree.Finish(set, kViewExistingFiles);
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) ^ (i >> 11));
  return bytes;
}

void WithReadFaults::SetUp() { testing::ClearReadFaults(); }
void WithReadFaults::TearDown() { testing::ClearReadFaults(); }

}  // namespace kestrum::test
