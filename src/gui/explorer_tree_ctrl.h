#pragma once
// The folder tree of the browser: one top-level item per volume, its
// subfolders listed the first time an item is expanded. Follows the
// VolumeSet and tells it when the user picks a folder.

#include <QIcon>
#include <QTreeWidget>

#include <cstdint>

#include "fs/tree/volume_set.h"

namespace kestrum {

class CExplorerTreeCtrl : public QTreeWidget, public VolumeSetListener {
  Q_OBJECT

 public:
  // The text of the child that stands for subfolders not listed yet.
  static constexpr const char16_t* kPlaceholder = u"***";
  static constexpr int kNodeRole = Qt::UserRole;
  static constexpr int kVolumeRole = Qt::UserRole + 1;

  explicit CExplorerTreeCtrl(QWidget* parent);
  ~CExplorerTreeCtrl() override;

  void SetVolumeSet(VolumeSet* set) { set_ = set; }
  void SetupTree();

  void OnVolumeSelected(int volume, std::uint32_t node) override;
  void OnVolumesCleared() override;
  void OnVolumeAdded() override;

  // The volume an item belongs to, from its top-level item; -1 if none.
  static int VolumeOfItem(const QTreeWidgetItem* item);
  static std::uint32_t NodeOfItem(const QTreeWidgetItem* item);
  static bool HasPlaceholder(const QTreeWidgetItem* item);

 private:
  void ListSubfolders(QTreeWidgetItem* item);
  void OnCurrentItemChanged(QTreeWidgetItem* current);
  QTreeWidgetItem* AddVolumeItem(int volume, const QString& text);

  VolumeSet* set_ = nullptr;
  QIcon driveIcon_;
  QIcon folderIcon_;
};

}  // namespace kestrum
