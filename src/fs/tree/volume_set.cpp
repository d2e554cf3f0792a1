#include "fs/tree/volume_set.h"

#include <algorithm>

namespace kestrum {

namespace {

bool IsAlwaysShown(const FileNode& node, std::uint32_t index) {
  return index == kRootNodeId || node.id == kLostFileId;
}

}  // namespace

bool PassesView(const FileNode& node, std::int32_t viewMode) {
  switch (viewMode) {
    case kViewExistingFiles: return node.type == kFile || node.type == kFolder;
    case kViewDeletedFiles: return node.deletedMark != 0 || node.type == kDeletedFile;
    default: return false;
  }
}

void VolumeSet::AddListener(VolumeSetListener* listener) {
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
    listeners_.push_back(listener);
  }
}

void VolumeSet::RemoveListener(VolumeSetListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void VolumeSet::AddVolume(const VolumeDescriptor& volume) { volumes.push_back(volume); }

void VolumeSet::SelectVolume(int index, VolumeSetListener* sender, std::uint32_t node) {
  if (index < 0 || index >= static_cast<int>(volumes.size())) return;
  currentVolume = index;
  NotifyListeners(sender, VolumeSetEvent::kVolumeSelected, index, node);
}

void VolumeSet::NotifyListeners(VolumeSetListener* sender, VolumeSetEvent event, int volume,
                                std::uint32_t node) {
  // A listener may add or remove listeners while being told; walk a copy.
  std::vector<VolumeSetListener*> targets = listeners_;
  for (VolumeSetListener* listener : targets) {
    if (listener == sender) continue;
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
    switch (event) {
      case VolumeSetEvent::kVolumeSelected: listener->OnVolumeSelected(volume, node); break;
      case VolumeSetEvent::kVolumesCleared: listener->OnVolumesCleared(); break;
      case VolumeSetEvent::kVolumeAdded: listener->OnVolumeAdded(); break;
    }
  }
}

void VolumeSet::ClearVolumes() {
  volumes.clear();  // the last copy of a tree frees it
  currentVolume = -1;
  NotifyListeners(nullptr, VolumeSetEvent::kVolumesCleared);
}

int VolumeSet::ResolveVolume(int volume) const {
  if (volume == kCurrentVolume) volume = currentVolume;
  return volume >= 0 && volume < static_cast<int>(volumes.size()) ? volume : -1;
}

const VolumeDescriptor* VolumeSet::Current() const {
  int v = ResolveVolume(kCurrentVolume);
  return v < 0 ? nullptr : &volumes[static_cast<std::size_t>(v)];
}

const NodeArray* VolumeSet::NodesOfVolume(int volume) const {
  int v = ResolveVolume(volume);
  return v < 0 ? nullptr : volumes[static_cast<std::size_t>(v)].readerState.nodes.get();
}

const FileNode* VolumeSet::IsNodeVisible(int volume, std::uint32_t index, bool foldersOnly) const {
  const NodeArray* array = NodesOfVolume(volume);
  if (array == nullptr || index >= array->Count()) return nullptr;
  const FileNode& node = array->nodes[index];
  if (!IsUsedSlot(node, index)) return nullptr;
  if (IsAlwaysShown(node, index)) return &node;
  if (!foldersOnly) return PassesView(node, viewMode) ? &node : nullptr;
  switch (viewMode) {
    case kViewExistingFiles: return node.type == kFolder ? &node : nullptr;
    case kViewDeletedFiles: return node.deletedMark && node.IsFolder() ? &node : nullptr;
    default: return nullptr;
  }
}

bool VolumeSet::ListVisibleChildren(int volume, std::uint32_t index, std::vector<std::uint32_t>& out,
                                    bool foldersOnly) const {
  const NodeArray* array = NodesOfVolume(volume);
  if (array == nullptr) return false;
  out.clear();
  if (index >= array->Count()) return true;
  for (std::uint32_t child : ChildrenOf(array->nodes, index)) {
    if (IsNodeVisible(volume, child, foldersOnly)) out.push_back(child);
  }
  return true;
}

bool VolumeSet::HasVisibleSubfolder(int volume, std::uint32_t index) const {
  if (IsNodeVisible(volume, index, false) == nullptr) return false;
  for (std::uint32_t child : ChildrenOf(NodesOfVolume(volume)->nodes, index)) {
    if (IsNodeVisible(volume, child, true)) return true;
  }
  return false;
}

bool VolumeSet::PathToRoot(int volume, std::uint32_t index, std::vector<std::uint32_t>& out) const {
  if (ResolveVolume(volume) < 0 || IsNodeVisible(volume, index, false) == nullptr) return false;
  const NodeArray* array = NodesOfVolume(volume);
  // A damaged parent chain may loop; no real path is longer than the array.
  for (std::uint32_t steps = 0; steps <= array->Count(); ++steps) {
    out.push_back(index);
    if (index == kRootNodeId) return true;
    index = LinkedParent(array->nodes, index);
    const FileNode& parent = array->nodes[index];
    if (!IsUsedSlot(parent, index)) return false;
    if (IsAlwaysShown(parent, index)) continue;
    if (!PassesView(parent, viewMode)) return false;
  }
  return false;
}

void VolumeSet::SumSubtree(int volume, std::uint32_t index, SubtreeTotals& totals) const {
  // Iterative: a damaged volume can hold parent chains deep enough to
  // exhaust a thread's stack.
  const NodeArray* array = NodesOfVolume(volume);
  if (array == nullptr) return;
  std::vector<std::uint32_t> pending = {index};
  std::vector<std::uint32_t> children;
  // Child lists reached from the root form a tree, but a node handed in from
  // elsewhere may sit in a ring of damaged parent links: visit each once.
  std::vector<bool> seen(array->Count(), false);
  while (!pending.empty()) {
    std::uint32_t k = pending.back();
    pending.pop_back();
    const FileNode* node = IsNodeVisible(volume, k, false);
    if (node == nullptr || seen[k]) continue;
    seen[k] = true;
    if (node->IsFile()) {
      totals.bytes += node->size;
      totals.files += 1;
    } else if (node->IsFolder()) {
      ListVisibleChildren(volume, k, children, false);
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  }
}

void VolumeSet::SumSelection(const std::vector<std::uint32_t>& selection, SubtreeTotals& totals) const {
  for (std::uint32_t index : selection) SumSubtree(kCurrentVolume, index, totals);
}

}  // namespace kestrum
