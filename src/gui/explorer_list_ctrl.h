#pragma once
// The file list of the browser: the visible children of one folder with an
// icon per extension, sizes, dates, the recovery chance of deleted files and
// a check box per row. It holds no file
// data of its own; it follows the VolumeSet and reads its nodes.

#include <QAbstractTableModel>
#include <QIcon>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "fs/tree/volume_set.h"

class QListView;
class QMenu;
class QStackedWidget;
class QTreeView;

namespace kestrum {

// The rows of the shown folder. A row holds only its node index and its
// tick; texts and icons are made when a view asks for them, so a folder of
// 100,000 files shows as fast as one of ten. Item data (Qt::UserRole) is the
// node index.
class ExplorerListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // A row's icon: a position in the icon list, -1 for none.
  using IconLookup = std::function<int(const FileNode&)>;

  explicit ExplorerListModel(QObject* parent) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The rows name nodes of `volume` of `set`, unticked; they are read
  // through the set while shown, so the set must outlive them (or clear them).
  void SetRows(const VolumeSet* set, int volume, std::vector<std::uint32_t> nodes);
  void Clear();
  std::uint32_t RowNode(int row) const { return nodes_.at(static_cast<std::size_t>(row)); }
  bool IsChecked(int row) const { return checked_.at(static_cast<std::size_t>(row)) != 0; }
  void SetAllChecked(bool checked);
  void SetChecked(int row, bool checked);
  void SetIcons(const std::vector<QIcon>* icons, IconLookup lookup);
  // The row whose name takes the most room (wide characters count twice); -1 when none.
  int LongestNameRow() const;

 private:
  const FileNode* NodeOfRow(int row) const;

  const VolumeSet* set_ = nullptr;
  int volume_ = kCurrentVolume;
  std::vector<std::uint32_t> nodes_;
  std::vector<std::uint8_t> checked_;
  mutable int longestNameRow_ = -2;  // -2: not looked for since the rows changed
  const std::vector<QIcon>* icons_ = nullptr;
  IconLookup iconOf_;
};

class CExplorerListCtrl : public QWidget, public VolumeSetListener {
  Q_OBJECT

 public:
  enum ViewModeId { kIconView = 0, kListView = 1, kDetailView = 2 };

  explicit CExplorerListCtrl(QWidget* parent);
  ~CExplorerListCtrl() override;

  void SetVolumeSet(VolumeSet* set) { set_ = set; }
  void SetupList();

  void OnVolumeSelected(int volume, std::uint32_t node) override;
  void OnVolumesCleared() override;
  void OnVolumeAdded() override {}

  // Rows, in order, with their node indices and ticks.
  int RowCount() const;
  std::uint32_t RowNode(int row) const;
  bool IsRowChecked(int row) const;
  void SetRowChecked(int row, bool checked);
  void SetAllChecked(bool checked);
  void SelectRow(int row);

  // Shows the first selected row's folder; files are not opened.
  void OpenSelected();
  void SetViewMode(int mode);
  int ViewMode() const { return viewMode_; }
  // The popup menu the right button opens; the caller owns it.
  QMenu* BuildContextMenu();

  int IconIndex(const FileNode& node);
  const std::vector<QString>& ExtensionCache() const { return extensions_; }
  int ShownVolume() const { return shownVolume_; }
  std::uint32_t ShownFolder() const { return shownFolder_; }
  QTreeView* DetailView() const { return detail_; }
  QListView* IconListView() const { return icons_; }
  ExplorerListModel* Model() const { return model_; }

 private:
  int FirstSelectedRow() const;
  void ShowContextMenu(const QPoint& position);

  VolumeSet* set_ = nullptr;
  int viewMode_ = kDetailView;
  ExplorerListModel* model_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QTreeView* detail_ = nullptr;
  QListView* icons_ = nullptr;
  // Position i names image i; 0 is "***", the folder icon.
  std::vector<QString> extensions_;
  std::vector<QIcon> images_;
  int shownVolume_ = kCurrentVolume;
  std::uint32_t shownFolder_ = kRootNodeId;
};

}  // namespace kestrum
