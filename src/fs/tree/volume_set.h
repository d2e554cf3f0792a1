#pragma once
// The document of every volume read or rebuilt in this run: which one is
// current, which view the user asked for, the view filter over its nodes, and
// the listeners (the browser's controls) told about changes.

#include <cstdint>
#include <vector>

#include "disk/volume_descriptor.h"
#include "fs/tree/file_node.h"
#include "fs/tree/node_vector.h"

namespace kestrum {

enum ViewMode : std::int32_t {
  kViewExistingFiles = 1,
  kViewDeletedFiles = 2,
};

constexpr int kCurrentVolume = 999;

class VolumeSetListener {
 public:
  virtual ~VolumeSetListener() = default;
  virtual void OnVolumeSelected(int volume, std::uint32_t node) = 0;
  virtual void OnVolumesCleared() = 0;
  virtual void OnVolumeAdded() = 0;
};

enum class VolumeSetEvent { kVolumeSelected, kVolumesCleared, kVolumeAdded };

struct SubtreeTotals {
  std::uint32_t files = 0;
  std::uint64_t bytes = 0;
};

class VolumeSet {
 public:
  VolumeList volumes;
  std::int32_t viewMode = kViewExistingFiles;
  int currentVolume = -1;

  void AddListener(VolumeSetListener* listener);
  void RemoveListener(VolumeSetListener* listener);

  // Appends the descriptor; the copy shares the reader's tree.
  void AddVolume(const VolumeDescriptor& volume);
  void SelectVolume(int index, VolumeSetListener* sender, std::uint32_t node);
  // Tells every listener but the sender, in the order they were added.
  void NotifyListeners(VolumeSetListener* sender, VolumeSetEvent event, int volume = 0,
                       std::uint32_t node = 0);
  // Frees every volume's tree and tables and tells the listeners.
  void ClearVolumes();

  // The node if the current view shows it; nullptr otherwise.
  // `volume` may be kCurrentVolume.
  const FileNode* IsNodeVisible(int volume, std::uint32_t node, bool foldersOnly) const;
  bool ListVisibleChildren(int volume, std::uint32_t node, std::vector<std::uint32_t>& out,
                           bool foldersOnly) const;
  bool HasVisibleSubfolder(int volume, std::uint32_t node) const;
  // The node, its ancestors, up to and including the root.
  bool PathToRoot(int volume, std::uint32_t node, std::vector<std::uint32_t>& out) const;
  void SumSubtree(int volume, std::uint32_t node, SubtreeTotals& totals) const;
  void SumSelection(const std::vector<std::uint32_t>& selection, SubtreeTotals& totals) const;

  const VolumeDescriptor* Current() const;
  const NodeArray* NodesOfVolume(int volume) const;

 private:
  int ResolveVolume(int volume) const;
  std::vector<VolumeSetListener*> listeners_;
};

// The view filter for a node that is not the root or LostFile.
bool PassesView(const FileNode& node, std::int32_t viewMode);

}  // namespace kestrum
