#include "gui/explorer_list_ctrl.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeDatabase>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

#include "fs/tree/node_text.h"
#include "gui/content_loader.h"

namespace kestrum {

namespace {

constexpr int kColumnCount = 5;
// The matches of a filter add the folder they lie in.
constexpr int kPathColumn = kColumnCount;
const char* const kListColumns[kColumnCount + 1] = {
    QT_TRANSLATE_NOOP("kestrum", "名称"), QT_TRANSLATE_NOOP("kestrum", "大小"),
    QT_TRANSLATE_NOOP("kestrum", "创建日期"), QT_TRANSLATE_NOOP("kestrum", "修改日期"),
    QT_TRANSLATE_NOOP("kestrum", "恢复可能性"), QT_TRANSLATE_NOOP("kestrum", "路径")};
constexpr int kColumnWidths[kColumnCount + 1] = {150, 80, 150, 150, 90, 260};
const QString kFolderKey = QStringLiteral("***");

// A page with the extension written on it, for extensions the icon theme
// does not know: every extension still gets an icon of its own.
QIcon DrawExtensionIcon(const QString& extension) {
  QIcon icon;
  for (int side : {16, 32}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    qreal w = side * 0.75;
    qreal x = (side - w) / 2;
    painter.setPen(QPen(QColor(110, 110, 110), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(x + 0.5, 0.5, w - 1, side - 1));
    uint hash = qHash(extension);
    QColor band = QColor::fromHsv(static_cast<int>(hash % 360), 160, 200);
    painter.setPen(Qt::NoPen);
    painter.setBrush(band);
    painter.drawRect(QRectF(x + 1, side * 0.55, w - 2, side * 0.35));
    if (side >= 32) {
      QFont font = painter.font();
      font.setPixelSize(8);
      font.setBold(true);
      painter.setFont(font);
      painter.setPen(Qt::white);
      painter.drawText(QRectF(x, side * 0.55, w, side * 0.35), Qt::AlignCenter,
                       extension.mid(1, 4).toUpper());
    }
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// A picture frame: crossed out for a picture that would not decode, with
// "大" for one that claims too many pixels to decode.
QIcon DrawPictureMark(bool broken) {
  QIcon icon;
  for (int side : {32, 64, 128}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(side * 0.1, side * 0.2, side * 0.8, side * 0.6);
    painter.setPen(QPen(QColor(120, 120, 120), qMax(1.0, side / 32.0)));
    painter.setBrush(QColor(235, 235, 235));
    painter.drawRect(frame);
    if (broken) {
      painter.setPen(QPen(QColor(200, 30, 30), qMax(2.0, side / 16.0)));
      painter.drawLine(frame.topLeft(), frame.bottomRight());
      painter.drawLine(frame.topRight(), frame.bottomLeft());
    } else {
      QFont font = painter.font();
      font.setPixelSize(qMax(8, side / 3));
      font.setBold(true);
      painter.setFont(font);
      painter.setPen(QColor(60, 60, 160));
      painter.drawText(frame, Qt::AlignCenter, QCoreApplication::translate("kestrum", "大"));
    }
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QString ExtensionOf(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return {};
  return QString::fromUtf16(name.data() + dot + 1, static_cast<qsizetype>(name.size() - dot - 1)).toLower();
}

QIcon IconForExtension(const QString& extension) {
  QMimeDatabase mimes;
  QMimeType mime = mimes.mimeTypeForFile(QStringLiteral("x") + extension, QMimeDatabase::MatchExtension);
  if (mime.isValid() && !mime.isDefault()) {
    QIcon themed = QIcon::fromTheme(mime.iconName());
    if (themed.isNull()) themed = QIcon::fromTheme(mime.genericIconName());
    if (!themed.isNull()) return themed;
  }
  return DrawExtensionIcon(extension);
}

QString NodeName(const FileNode& node) {
  return QString::fromUtf16(node.name.data(), static_cast<qsizetype>(node.name.size()));
}

QString ColumnText(const FileNode& node, int column) {
  switch (column) {
    case 0: return NodeName(node);
    case 1: return QString::fromStdU16String(SizeText(node.size));
    case 2: return QString::fromStdU16String(FileTimeToLocalText(node.creationTime));
    case 3: return QString::fromStdU16String(FileTimeToLocalText(node.lastWriteTime));
    case 4: return QString::fromStdU16String(RecoveryText(node));
    default: return {};
  }
}

// The icon and list views lay out every item before they show one, and
// measuring an item's text costs far more than making it. With uniform item
// sizes they measure once; this measures the row with the longest name, so
// no name is cut short.
class LongestNameDelegate : public QStyledItemDelegate {
 public:
  LongestNameDelegate(const ExplorerListModel* model, QListView* view)
      : QStyledItemDelegate(view), model_(model), view_(view) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    int row = model_->LongestNameRow();
    // Measuring a row is not showing it: no thumbnail for it.
    model_->SetMeasuring(true);
    QSize size = QStyledItemDelegate::sizeHint(option, row >= 0 ? model_->index(row, 0) : index);
    model_->SetMeasuring(false);
    return size;
  }

 protected:
  // Every item takes the view's icon size, whatever its own icon offers, so
  // one measured item fits a thumbnail as well as a small type icon.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->features & QStyleOptionViewItem::HasDecoration) option->decorationSize = view_->iconSize();
  }

 private:
  const ExplorerListModel* model_;
  QListView* view_;
};

}  // namespace

int ExplorerListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(nodes_.size());
}

int ExplorerListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount + (matches_ ? 1 : 0);
}

const FileNode* ExplorerListModel::NodeOfRow(int row) const {
  if (set_ == nullptr || row < 0 || row >= static_cast<int>(nodes_.size())) return nullptr;
  return set_->IsNodeVisible(volume_, nodes_[static_cast<std::size_t>(row)], false);
}

QString ExplorerListModel::FolderPathOfRow(int row) const {
  std::vector<std::uint32_t> chain;
  const NodeArray* array = set_ != nullptr ? set_->NodesOfVolume(volume_) : nullptr;
  if (array == nullptr || !set_->PathToRoot(volume_, nodes_[static_cast<std::size_t>(row)], chain)) return {};
  QString path;
  // chain: the node, its folders, the root; the folders are wanted, root first.
  for (std::size_t i = chain.size(); i-- > 1;) {
    if (chain[i] == kRootNodeId) continue;
    if (!path.isEmpty()) path += QLatin1Char('/');
    path += NodeName(array->nodes[chain[i]]);
  }
  return path;
}

QVariant ExplorerListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(nodes_.size())) return {};
  const std::size_t row = static_cast<std::size_t>(index.row());
  if (role == Qt::UserRole) return nodes_[row];
  if (role == Qt::DisplayRole) {
    if (index.column() == kPathColumn) return FolderPathOfRow(index.row());
    const FileNode* node = NodeOfRow(index.row());
    return node != nullptr ? ColumnText(*node, index.column()) : QString();
  }
  if (index.column() != 0) return {};
  if (role == Qt::CheckStateRole) return ticks_[nodes_[row]] != 0 ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::DecorationRole && icons_ != nullptr && iconOf_) {
    const FileNode* node = NodeOfRow(index.row());
    if (node != nullptr && thumbnailOf_ && !measuring_) {
      if (const QIcon* thumbnail = thumbnailOf_(index.row(), *node)) return *thumbnail;
    }
    int icon = node != nullptr ? iconOf_(*node) : -1;
    if (icon >= 0 && icon < static_cast<int>(icons_->size())) return (*icons_)[static_cast<std::size_t>(icon)];
  }
  return {};
}

bool ExplorerListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
  SetChecked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags ExplorerListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant ExplorerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) {
    return {};
  }
  return QCoreApplication::translate("kestrum", kListColumns[section]);
}

void ExplorerListModel::SetRows(const VolumeSet* set, int volume, std::vector<std::uint32_t> nodes, bool matches,
                                bool keepTicks) {
  beginResetModel();
  // Pinned, so the rows keep naming this volume whichever becomes current.
  volume = set != nullptr && volume == kCurrentVolume ? set->currentVolume : volume;
  const NodeArray* array = set != nullptr ? set->NodesOfVolume(volume) : nullptr;
  const std::size_t count = array != nullptr ? array->Count() : 0;
  if (!keepTicks || set != set_ || volume != volume_ || ticks_.size() != count) ticks_.assign(count, 0);
  set_ = set;
  volume_ = volume;
  // A node past the array (a damaged volume's link) gets no row.
  std::erase_if(nodes, [count](std::uint32_t k) { return k >= count; });
  nodes_ = std::move(nodes);
  matches_ = matches;
  longestNameRow_ = -2;
  endResetModel();
}

void ExplorerListModel::Clear() { SetRows(nullptr, kCurrentVolume, {}); }

void ExplorerListModel::SetIcons(const std::vector<QIcon>* icons, IconLookup lookup) {
  icons_ = icons;
  iconOf_ = std::move(lookup);
}

int ExplorerListModel::LongestNameRow() const {
  if (longestNameRow_ != -2) return longestNameRow_;
  longestNameRow_ = -1;
  std::size_t longest = 0;
  for (int row = 0; row < static_cast<int>(nodes_.size()); ++row) {
    const FileNode* node = NodeOfRow(row);
    if (node == nullptr) continue;
    std::u16string_view name = node->name;
    std::size_t room = name.size();
    for (char16_t c : name) room += c >= 0x1100 ? 1 : 0;  // CJK and the like: two columns
    if (longestNameRow_ < 0 || room > longest) {
      longest = room;
      longestNameRow_ = row;
    }
  }
  return longestNameRow_;
}

void ExplorerListModel::SetAllChecked(bool checked) {
  if (nodes_.empty()) return;
  for (std::uint32_t k : nodes_) ticks_[k] = checked ? 1 : 0;
  emit dataChanged(index(0, 0), index(static_cast<int>(nodes_.size()) - 1, 0), {Qt::CheckStateRole});
}

void ExplorerListModel::SetChecked(int row, bool checked) {
  if (row < 0 || row >= static_cast<int>(nodes_.size())) return;
  ticks_[nodes_[static_cast<std::size_t>(row)]] = checked ? 1 : 0;
  emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

CExplorerListCtrl::CExplorerListCtrl(QWidget* parent) : QWidget(parent) {
  model_ = new ExplorerListModel(this);
  model_->SetIcons(&images_, [this](const FileNode& node) { return IconIndex(node); });
  detail_ = new QTreeView(this);
  detail_->setModel(model_);
  detail_->setRootIsDecorated(false);
  detail_->setItemsExpandable(false);
  detail_->setUniformRowHeights(true);
  detail_->setSortingEnabled(false);
  detail_->setAllColumnsShowFocus(true);
  detail_->header()->setSectionsClickable(false);
  detail_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  detail_->header()->setStretchLastSection(false);
  icons_ = new QListView(this);
  icons_->setModel(model_);
  icons_->setSelectionModel(detail_->selectionModel());
  icons_->setResizeMode(QListView::Adjust);
  icons_->setMovement(QListView::Static);
  icons_->setUniformItemSizes(true);
  icons_->setItemDelegate(new LongestNameDelegate(model_, icons_));
  for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(detail_), static_cast<QAbstractItemView*>(icons_)}) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QAbstractItemView::doubleClicked, this, [this] { OpenSelected(); });
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& at) { ShowContextMenu(view->viewport()->mapToGlobal(at)); });
  }
  thumbnailLoader_ = new ContentLoader([this](const ContentResult& result) { OnThumbnail(result); }, 256, this);
  thumbnails_.setMaxCost(48 << 20);  // bytes of pixels
  brokenIcon_ = DrawPictureMark(true);
  tooLargeIcon_ = DrawPictureMark(false);
  // Rows scrolled away want no thumbnail; the rows that come ask for theirs.
  connect(icons_->verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { Forget(thumbnailLoader_->DropPending(false)); });
  connect(icons_->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { Forget(thumbnailLoader_->DropPending(false)); });
  stack_ = new QStackedWidget(this);
  stack_->addWidget(detail_);
  stack_->addWidget(icons_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);
}

CExplorerListCtrl::~CExplorerListCtrl() {
  if (set_ != nullptr) set_->RemoveListener(this);
}

void CExplorerListCtrl::SetupList() {
  QFileIconProvider provider;
  extensions_.assign(1, kFolderKey);
  images_.assign(1, provider.icon(QFileIconProvider::Folder));
  SetViewMode(kDetailView);
}

void CExplorerListCtrl::OnVolumeSelected(int volume, std::uint32_t folder) {
  std::vector<std::uint32_t> children;
  if (set_ == nullptr || !set_->ListVisibleChildren(volume, folder, children, false)) children.clear();
  // New rows every time: nothing of a row, its tick included, outlives the folder.
  SetRows(volume, std::move(children), false, false);
  shownVolume_ = volume;
  shownFolder_ = folder;
  emit FolderShown();
}

void CExplorerListCtrl::SetRows(int volume, std::vector<std::uint32_t> nodes, bool matches, bool keepTicks) {
  const bool hadPaths = model_->ShowsMatches();
  const int before = model_->Volume();
  // Thumbnails asked for the old rows are not wanted; those made stay for
  // the same volume's nodes.
  Forget(thumbnailLoader_->DropPending(false));
  if (set_ == nullptr || (volume == kCurrentVolume ? set_->currentVolume : volume) != before) ForgetThumbnails();
  model_->SetRows(set_, volume, std::move(nodes), matches, keepTicks);
  if (hadPaths != matches) SetViewMode(viewMode_);  // the path column came or went
}

void CExplorerListCtrl::ShowMatches(std::vector<std::uint32_t> matches) {
  SetRows(shownVolume_, std::move(matches), true, true);
}

void CExplorerListCtrl::ShowFolderAgain() {
  std::vector<std::uint32_t> children;
  if (set_ == nullptr || !set_->ListVisibleChildren(shownVolume_, shownFolder_, children, false)) children.clear();
  SetRows(shownVolume_, std::move(children), false, true);
}

void CExplorerListCtrl::OnVolumesCleared() {
  ForgetThumbnails();
  model_->Clear();
}

void CExplorerListCtrl::Forget(const std::vector<std::uint64_t>& keys) {
  for (std::uint64_t key : keys) {
    auto it = thumbnailRequests_.find(key);
    if (it == thumbnailRequests_.end()) continue;
    pendingThumbnails_.erase(it->second.node);
    thumbnailRequests_.erase(it);
  }
}

void CExplorerListCtrl::ForgetThumbnails() {
  thumbnailLoader_->DropPending(true);
  thumbnailRequests_.clear();  // whatever still comes back is not looked at
  pendingThumbnails_.clear();
  thumbnails_.clear();
}

const QIcon* CExplorerListCtrl::ThumbnailFor(int row, const FileNode& node) {
  if (!node.IsFile() || node.size == 0 || node.size > kThumbnailReadLimit || set_ == nullptr) return nullptr;
  if (!IsShownPictureExtension(ExtensionOf(node.name))) return nullptr;
  const std::uint32_t index = model_->RowNode(row);
  if (const ThumbnailEntry* made = thumbnails_.object(index)) return &made->icon;
  if (pendingThumbnails_.count(index) != 0) return nullptr;
  const int volume = model_->Volume();
  if (volume < 0 || volume >= static_cast<int>(set_->volumes.size())) return nullptr;
  ContentRequest request;
  request.key = nextThumbnailKey_++;
  request.volume = set_->volumes[static_cast<std::size_t>(volume)];
  request.node = node;
  request.limit = kThumbnailReadLimit;
  request.picture = true;
  request.fit = QSize(2 * kThumbnailSide, 2 * kThumbnailSide);
  thumbnailRequests_[request.key] = {index, row};
  pendingThumbnails_[index] = request.key;
  Forget(thumbnailLoader_->Request(std::move(request)));
  return nullptr;
}

void CExplorerListCtrl::OnThumbnail(const ContentResult& result) {
  auto it = thumbnailRequests_.find(result.key);
  if (it == thumbnailRequests_.end()) return;  // the rows it was made for are gone
  const ThumbnailRequest asked = it->second;
  thumbnailRequests_.erase(it);
  pendingThumbnails_.erase(asked.node);
  auto* entry = new ThumbnailEntry;
  entry->state = result.picture.state;
  qsizetype cost = 1024;
  switch (entry->state) {
    case PictureState::kShown:
      entry->icon = QIcon(QPixmap::fromImage(result.picture.image));
      cost = result.picture.image.sizeInBytes();
      break;
    case PictureState::kBroken: entry->icon = brokenIcon_; break;
    case PictureState::kTooLarge: entry->icon = tooLargeIcon_; break;
  }
  thumbnails_.insert(asked.node, entry, cost);
  if (asked.row < model_->rowCount() && model_->RowNode(asked.row) == asked.node) {
    const QModelIndex index = model_->index(asked.row, 0);
    emit model_->dataChanged(index, index, {Qt::DecorationRole});
  }
}

CExplorerListCtrl::Thumbnail CExplorerListCtrl::ThumbnailOf(int row) const {
  const std::uint32_t index = model_->RowNode(row);
  if (const ThumbnailEntry* made = thumbnails_.object(index)) {
    switch (made->state) {
      case PictureState::kShown: return Thumbnail::kShown;
      case PictureState::kBroken: return Thumbnail::kBroken;
      case PictureState::kTooLarge: return Thumbnail::kTooLarge;
    }
  }
  return pendingThumbnails_.count(index) != 0 ? Thumbnail::kPending : Thumbnail::kNone;
}

std::size_t CExplorerListCtrl::ThumbnailsOutstanding() const { return thumbnailLoader_->Outstanding(); }

int CExplorerListCtrl::RowCount() const { return model_->rowCount(); }

std::uint32_t CExplorerListCtrl::RowNode(int row) const { return model_->RowNode(row); }

bool CExplorerListCtrl::IsRowChecked(int row) const { return model_->IsChecked(row); }

void CExplorerListCtrl::SetRowChecked(int row, bool checked) { model_->SetChecked(row, checked); }

void CExplorerListCtrl::SetAllChecked(bool checked) { model_->SetAllChecked(checked); }

void CExplorerListCtrl::SelectRow(int row) {
  QModelIndex index = model_->index(row, 0);
  detail_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  detail_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

int CExplorerListCtrl::FirstSelectedRow() const {
  int first = -1;
  for (const QModelIndex& index : detail_->selectionModel()->selectedRows()) {
    if (first < 0 || index.row() < first) first = index.row();
  }
  return first;
}

void CExplorerListCtrl::OpenSelected() {
  int row = FirstSelectedRow();
  if (row < 0 || set_ == nullptr) return;
  std::uint32_t k = RowNode(row);
  const FileNode* node = set_->IsNodeVisible(shownVolume_, k, false);
  if (node == nullptr || !node->IsFolder()) return;
  int volume = shownVolume_ == kCurrentVolume ? set_->currentVolume : shownVolume_;
  // Everyone is told, this list included: it shows the folder, the tree opens down to it.
  set_->SelectVolume(volume, nullptr, k);
}

void CExplorerListCtrl::SetViewMode(int mode) {
  switch (mode) {
    case kIconView:
      icons_->setViewMode(QListView::IconMode);
      icons_->setFlow(QListView::LeftToRight);
      icons_->setWrapping(true);
      // Room for a thumbnail of a picture: the icons of other files scale up.
      icons_->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
      icons_->setGridSize(QSize(112, kThumbnailSide + 44));
      icons_->setWordWrap(true);
      model_->SetThumbnails([this](int row, const FileNode& node) { return ThumbnailFor(row, node); });
      stack_->setCurrentWidget(icons_);
      break;
    case kListView:
      model_->SetThumbnails(nullptr);
      icons_->setViewMode(QListView::ListMode);
      icons_->setFlow(QListView::TopToBottom);
      icons_->setWrapping(true);
      icons_->setIconSize(QSize(16, 16));
      icons_->setGridSize(QSize());
      icons_->setWordWrap(false);
      stack_->setCurrentWidget(icons_);
      break;
    default:
      model_->SetThumbnails(nullptr);
      mode = kDetailView;
      detail_->setIconSize(QSize(16, 16));
      // Never narrower than the heading in the language shown.
      for (int c = 0; c < model_->columnCount(); ++c) {
        detail_->setColumnWidth(c, std::max(kColumnWidths[c], detail_->header()->sectionSizeHint(c)));
      }
      stack_->setCurrentWidget(detail_);
      break;
  }
  viewMode_ = mode;
}

QMenu* CExplorerListCtrl::BuildContextMenu() {
  auto* menu = new QMenu(this);
  if (FirstSelectedRow() >= 0) {
    menu->addAction(tr("复制"));  // nothing to copy to yet: no action
    menu->addAction(tr("打开"), this, [this] { OpenSelected(); });
    if (extraAction_ != nullptr) menu->addAction(extraAction_);
    menu->addSeparator();
  } else if (extraAction_ != nullptr) {
    menu->addAction(extraAction_);
    menu->addSeparator();
  }
  const QString names[] = {tr("图标"), tr("列表"), tr("细节")};
  for (int mode = kIconView; mode <= kDetailView; ++mode) {
    QAction* action = menu->addAction(names[mode], this, [this, mode] { SetViewMode(mode); });
    action->setCheckable(true);
    action->setChecked(mode == viewMode_);
  }
  return menu;
}

void CExplorerListCtrl::ShowContextMenu(const QPoint& position) {
  QMenu* menu = BuildContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(position);
}

int CExplorerListCtrl::IconIndex(const FileNode& node) {
  if (node.IsFolder()) return 0;
  std::u16string_view name = node.name;
  std::size_t dot = name.rfind(u'.');
  if (name.size() <= 1 || dot == std::u16string_view::npos || dot == 0) return -1;
  QString extension = QString::fromUtf16(name.data() + dot, static_cast<qsizetype>(name.size() - dot)).toLower();
  auto found = std::find(extensions_.begin(), extensions_.end(), extension);
  if (found != extensions_.end()) return static_cast<int>(found - extensions_.begin());
  // The cache and the images grow together, so position i always names image i.
  images_.push_back(IconForExtension(extension));
  extensions_.push_back(extension);
  return static_cast<int>(extensions_.size()) - 1;
}

}  // namespace kestrum
