#include "gui/explorer_tree_ctrl.h"

#include <QFileIconProvider>
#include <QHeaderView>

#include <vector>

#include "base/text.h"
#include "disk/disk_info.h"

namespace kestrum {

namespace {

QTreeWidgetItem* TopLevelOf(const QTreeWidgetItem* item) {
  const QTreeWidgetItem* top = item;
  while (top != nullptr && top->parent() != nullptr) top = top->parent();
  return const_cast<QTreeWidgetItem*>(top);
}

void AddPlaceholder(QTreeWidgetItem* item) {
  auto* placeholder = new QTreeWidgetItem(item);
  placeholder->setText(0, QString::fromStdU16String(CExplorerTreeCtrl::kPlaceholder));
}

// Whole MiB, as GiB (or TiB) with two decimals.
std::u16string GbText(Sector64 sectors) {
  return FormatGibOrTib(static_cast<double>(sectors / 2048) * (1.0 / 1024.0), true);
}

}  // namespace

CExplorerTreeCtrl::CExplorerTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { ListSubfolders(item); });
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentItemChanged(current); });
}

CExplorerTreeCtrl::~CExplorerTreeCtrl() {
  if (set_ != nullptr) set_->RemoveListener(this);
}

void CExplorerTreeCtrl::SetupTree() {
  QFileIconProvider provider;
  driveIcon_ = provider.icon(QFileIconProvider::Drive);
  folderIcon_ = provider.icon(QFileIconProvider::Folder);
}

int CExplorerTreeCtrl::VolumeOfItem(const QTreeWidgetItem* item) {
  const QTreeWidgetItem* top = TopLevelOf(item);
  if (top == nullptr) return -1;
  QVariant volume = top->data(0, kVolumeRole);
  return volume.isValid() ? volume.toInt() : -1;
}

std::uint32_t CExplorerTreeCtrl::NodeOfItem(const QTreeWidgetItem* item) {
  return item->data(0, kNodeRole).toUInt();
}

bool CExplorerTreeCtrl::HasPlaceholder(const QTreeWidgetItem* item) {
  return item->childCount() > 0 && !item->child(0)->data(0, kNodeRole).isValid() &&
         item->child(0)->text(0) == QString::fromStdU16String(kPlaceholder);
}

QTreeWidgetItem* CExplorerTreeCtrl::AddVolumeItem(int volume, const QString& text) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, text);
  item->setIcon(0, driveIcon_);
  item->setData(0, kNodeRole, kRootNodeId);
  item->setData(0, kVolumeRole, volume);
  AddPlaceholder(item);
  return item;
}

void CExplorerTreeCtrl::OnVolumeAdded() {
  if (set_ == nullptr || set_->volumes.empty()) return;
  int v = static_cast<int>(set_->volumes.size()) - 1;
  if (set_->IsNodeVisible(v, kRootNodeId, false) == nullptr) return;
  const VolumeDescriptor& volume = set_->volumes[static_cast<std::size_t>(v)];
  std::u16string text = FormatText("%02d  ", v) + volume.label + u"  " + GbText(volume.startSector) +
                        u"  " + GbText(volume.sectorCount);
  AddVolumeItem(v, QString::fromStdU16String(text));
}

void CExplorerTreeCtrl::OnVolumesCleared() { clear(); }

void CExplorerTreeCtrl::ListSubfolders(QTreeWidgetItem* item) {
  int v = VolumeOfItem(item);
  if (v < 0 || set_ == nullptr) return;
  // Items that already hold their real subfolders stay as they are.
  if (item->childCount() > 0 && !HasPlaceholder(item)) return;
  qDeleteAll(item->takeChildren());
  std::vector<std::uint32_t> folders;
  if (!set_->ListVisibleChildren(v, NodeOfItem(item), folders, true)) return;
  for (std::uint32_t c : folders) {
    const FileNode* node = set_->IsNodeVisible(v, c, false);
    if (node == nullptr) continue;
    auto* child = new QTreeWidgetItem(item);
    child->setText(0, QString::fromUtf16(node->name.data(), static_cast<qsizetype>(node->name.size())));
    child->setIcon(0, folderIcon_);
    child->setData(0, kNodeRole, c);
    if (set_->HasVisibleSubfolder(v, c)) AddPlaceholder(child);
  }
}

void CExplorerTreeCtrl::OnCurrentItemChanged(QTreeWidgetItem* current) {
  if (current == nullptr || set_ == nullptr || !current->data(0, kNodeRole).isValid()) return;
  int v = VolumeOfItem(current);
  if (v < 0 || v >= static_cast<int>(set_->volumes.size())) return;
  set_->SelectVolume(v, this, NodeOfItem(current));
}

void CExplorerTreeCtrl::OnVolumeSelected(int volume, std::uint32_t node) {
  if (set_ == nullptr) return;
  if (volume == kCurrentVolume) volume = set_->currentVolume;
  std::vector<std::uint32_t> path;
  if (!set_->PathToRoot(volume, node, path)) return;
  // From the root down: the volume's item, then one child per step.
  std::vector<QTreeWidgetItem*> found;
  QTreeWidgetItem* item = nullptr;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = topLevelItem(i);
    if (NodeOfItem(top) == kRootNodeId && VolumeOfItem(top) == volume) {
      item = top;
      break;
    }
  }
  if (item == nullptr) {
    if (set_->IsNodeVisible(volume, kRootNodeId, false) == nullptr) return;
    item = AddVolumeItem(volume, QString::fromStdU16String(FormatText("%02d", volume)));
  }
  found.push_back(item);
  for (auto step = path.rbegin() + 1; step != path.rend(); ++step) {
    item->setExpanded(true);  // lists the subfolders, so the next step can be found
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount(); ++i) {
      QTreeWidgetItem* child = item->child(i);
      if (child->data(0, kNodeRole).isValid() && NodeOfItem(child) == *step) {
        next = child;
        break;
      }
    }
    if (next == nullptr) break;
    item = next;
    found.push_back(item);
  }
  found.back()->setExpanded(true);
  // The change of selection tells the list, which shows the folder.
  setCurrentItem(found.back());
  scrollToItem(found.back());
}

}  // namespace kestrum
