#pragma once
// The file list of the browser: the visible children of one folder with an
// icon per extension, sizes, dates, the recovery chance of deleted files and
// a check box per row. It holds no file
// data of its own; it follows the VolumeSet and reads its nodes.

#include <QAbstractTableModel>
#include <QCache>
#include <QIcon>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "fs/tree/volume_set.h"
#include "gui/picture_decode.h"

class QAction;
class QListView;
class QMenu;
class QStackedWidget;
class QTreeView;

namespace kestrum {

class ContentLoader;
struct ContentResult;

// The rows of the shown folder, or the matches of a filter over the whole
// volume (with a path column). A row holds only its node index; ticks are
// kept per node, so the rows of a folder and the matches of a filter over it
// show the same ticks. Texts and icons are made when a view asks for them,
// so a folder of 100,000 files shows as fast as one of ten. Item data
// (Qt::UserRole) is the node index.
class ExplorerListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // A row's icon: a position in the icon list, -1 for none.
  using IconLookup = std::function<int(const FileNode&)>;
  // A row's thumbnail, or nullptr for none (yet).
  using ThumbnailLookup = std::function<const QIcon*(int row, const FileNode&)>;

  explicit ExplorerListModel(QObject* parent) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The rows name nodes of `volume` of `set`; they are read through the set
  // while shown, so the set must outlive them (or clear them). `matches`:
  // the rows come from a filter and show their paths. Unless `keepTicks`,
  // every tick goes.
  void SetRows(const VolumeSet* set, int volume, std::vector<std::uint32_t> nodes, bool matches = false,
               bool keepTicks = false);
  void Clear();
  bool ShowsMatches() const { return matches_; }
  int Volume() const { return volume_; }
  std::uint32_t RowNode(int row) const { return nodes_.at(static_cast<std::size_t>(row)); }
  bool IsChecked(int row) const { return ticks_.at(RowNode(row)) != 0; }
  void SetAllChecked(bool checked);
  void SetChecked(int row, bool checked);
  void SetIcons(const std::vector<QIcon>* icons, IconLookup lookup);
  // Thumbnails replace the icons of pictures while `lookup` is set.
  void SetThumbnails(ThumbnailLookup lookup) { thumbnailOf_ = std::move(lookup); }
  // Set while a view measures a row rather than shows it: no thumbnail is asked for.
  void SetMeasuring(bool measuring) const { measuring_ = measuring; }
  // The row whose name takes the most room (wide characters count twice); -1 when none.
  int LongestNameRow() const;

 private:
  const FileNode* NodeOfRow(int row) const;
  // The folders above the row's node, "docs/报告"; "" for the root's children.
  QString FolderPathOfRow(int row) const;

  const VolumeSet* set_ = nullptr;
  int volume_ = kCurrentVolume;
  std::vector<std::uint32_t> nodes_;
  std::vector<std::uint8_t> ticks_;  // by node index
  bool matches_ = false;
  mutable int longestNameRow_ = -2;  // -2: not looked for since the rows changed
  const std::vector<QIcon>* icons_ = nullptr;
  IconLookup iconOf_;
  ThumbnailLookup thumbnailOf_;
  mutable bool measuring_ = false;
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
  // The matches of a filter, as one flat list with their paths; the ticks stay.
  void ShowMatches(std::vector<std::uint32_t> matches);
  // The shown folder again, with the ticks it had.
  void ShowFolderAgain();
  bool ShowsMatches() const { return model_->ShowsMatches(); }
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
  // The popup menu the right button opens; the caller owns it. `extra`
  // (the page's preview toggle) goes after "打开".
  QMenu* BuildContextMenu();
  void SetExtraMenuAction(QAction* action) { extraAction_ = action; }

  // Thumbnails of the icon view: the thumbnail state of a row, and how many
  // are being made.
  enum class Thumbnail { kNone, kPending, kShown, kBroken, kTooLarge };
  Thumbnail ThumbnailOf(int row) const;
  std::size_t ThumbnailsOutstanding() const;
  static constexpr std::uint64_t kThumbnailReadLimit = 24ull << 20;
  static constexpr int kThumbnailSide = 64;  // on screen; made at twice that

  int IconIndex(const FileNode& node);

 signals:
  // Another folder is shown (the user went somewhere); its rows are unticked.
  void FolderShown();

 public:
  const std::vector<QString>& ExtensionCache() const { return extensions_; }
  int ShownVolume() const { return shownVolume_; }
  std::uint32_t ShownFolder() const { return shownFolder_; }
  QTreeView* DetailView() const { return detail_; }
  QListView* IconListView() const { return icons_; }
  ExplorerListModel* Model() const { return model_; }

 private:
  int FirstSelectedRow() const;
  void SetRows(int volume, std::vector<std::uint32_t> nodes, bool matches, bool keepTicks);
  const QIcon* ThumbnailFor(int row, const FileNode& node);
  void OnThumbnail(const ContentResult& result);
  void ForgetThumbnails();
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
  QAction* extraAction_ = nullptr;

  struct ThumbnailEntry {
    PictureState state = PictureState::kBroken;
    QIcon icon;
  };
  // Made thumbnails by node, bounded by their pixels' bytes.
  QCache<std::uint32_t, ThumbnailEntry> thumbnails_;
  // Requested and not back yet: request key -> node and the row it was asked
  // for, and the nodes among them.
  struct ThumbnailRequest {
    std::uint32_t node;
    int row;
  };
  std::map<std::uint64_t, ThumbnailRequest> thumbnailRequests_;
  std::map<std::uint32_t, std::uint64_t> pendingThumbnails_;
  std::uint64_t nextThumbnailKey_ = 1;
  void Forget(const std::vector<std::uint64_t>& keys);
  ContentLoader* thumbnailLoader_ = nullptr;
  QIcon brokenIcon_;
  QIcon tooLargeIcon_;
};

}  // namespace kestrum
