#pragma once
// The file list of the browser: the visible children of one folder with an
// icon per extension, sizes, dates, the recovery chance of deleted files and
// a check box per row. It holds no file
// data of its own; it follows the VolumeSet and reads its nodes.

#include <QAbstractTableModel>
#include <QIcon>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "fs/tree/volume_set.h"

class QListView;
class QMenu;
class QStackedWidget;
class QTreeView;

namespace kestrum {

// The rows of the shown folder. Item data (Qt::UserRole) is the node index.
class ExplorerListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  struct Row {
    std::uint32_t node = 0;
    int icon = -1;  // position in the extension cache; -1 none
    QString name;
    QString size;
    QString created;
    QString modified;
    QString recovery;  // empty for folders and live files
    bool checked = false;
  };

  explicit ExplorerListModel(QObject* parent) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void SetRows(std::vector<Row> rows);
  const std::vector<Row>& Rows() const { return rows_; }
  void SetAllChecked(bool checked);
  void SetChecked(int row, bool checked);
  void SetIcons(const std::vector<QIcon>* icons) { icons_ = icons; }

 private:
  std::vector<Row> rows_;
  const std::vector<QIcon>* icons_ = nullptr;
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
