#include "gui/fdr_dlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/message_boxes.h"
#include "export/export_files.h"
#include "gui/explorer_list_ctrl.h"
#include "gui/explorer_tree_ctrl.h"
#include "gui/filter_bar.h"
#include "gui/preview_pane.h"
#include "find/file_filter.h"

namespace kestrum {

namespace {

constexpr std::size_t kDamagedFilesShown = 10;
const char* const kNothingTicked = QT_TRANSLATE_NOOP("kestrum", "请至少选择一个需要导出的目录和文件!");
const char* const kExportDone = QT_TRANSLATE_NOOP("kestrum", "导出文件成功！");
const char* const kExportFailed = QT_TRANSLATE_NOOP("kestrum", "导出文件失败！");
const char* const kTargetOnSource = QT_TRANSLATE_NOOP("kestrum",
    "所选的文件夹位于正在恢复数据的设备上。\n"
    "向这个设备写入文件，可能会覆盖尚未恢复的已删除数据，使其再也无法恢复。\n"
    "建议选择其他磁盘上的文件夹。仍然要导出到这个文件夹吗？");

std::u16string Text(const char* source) { return QCoreApplication::translate("kestrum", source).toStdU16String(); }

}  // namespace

CFdrDlg::CFdrDlg(PageHost& host, const GuiServices& services, QWidget* parent)
    : QWidget(parent), host_(host), services_(services) {
  tree_ = new CExplorerTreeCtrl(this);
  list_ = new CExplorerListCtrl(this);
  filter_ = new CFilterBar(this);
  filter_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  preview_ = new CPreviewPane(this);
  preview_->setVisible(false);
  previewButton_ = new QPushButton(tr("预览"), this);
  previewButton_->setObjectName(QStringLiteral("preview"));
  previewButton_->setCheckable(true);
  previewAction_ = new QAction(tr("预览窗格"), this);
  previewAction_->setCheckable(true);
  list_->SetExtraMenuAction(previewAction_);
  auto* back = new QPushButton(tr("上一步"), this);
  auto* up = new QPushButton(tr("向上"), this);
  auto* all = new QPushButton(tr("全选"), this);
  auto* none = new QPushButton(tr("全取消"), this);
  export_ = new QPushButton(tr("导出"), this);
  readLoss_ = new QLabel(this);
  readLoss_->setObjectName(QStringLiteral("readLoss"));
  readLoss_->setWordWrap(true);
  readLoss_->setStyleSheet(QStringLiteral("color: #b00020;"));
  readLoss_->setVisible(false);
  up->setVisible(false);  // no action of its own yet
  back->setObjectName(QStringLiteral("back"));
  all->setObjectName(QStringLiteral("selectAll"));
  none->setObjectName(QStringLiteral("clearAll"));
  export_->setObjectName(QStringLiteral("export"));

  auto* listButtons = new QHBoxLayout;
  listButtons->addWidget(up);
  listButtons->addWidget(previewButton_);
  listButtons->addStretch();
  listButtons->addWidget(all);
  listButtons->addWidget(none);
  listButtons->addWidget(export_);
  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(readLoss_);
  rightLayout->addWidget(filter_);
  rightLayout->addLayout(listButtons);
  auto* listAndPreview = new QSplitter(Qt::Horizontal, right);
  listAndPreview->addWidget(list_);
  listAndPreview->addWidget(preview_);
  listAndPreview->setStretchFactor(0, 3);
  listAndPreview->setStretchFactor(1, 2);
  rightLayout->addWidget(listAndPreview, 1);
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(tree_);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({260, 620});
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(back);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(splitter);
  layout->addLayout(bottom);

  setTabOrder(tree_, list_);
  setTabOrder(list_, all);
  setTabOrder(all, none);
  setTabOrder(none, export_);
  setTabOrder(export_, back);

  connect(back, &QPushButton::clicked, this, [this] { host_.ShowPage(PageId::kDeviceSelection); });
  connect(all, &QPushButton::clicked, this, &CFdrDlg::SelectAll);
  connect(none, &QPushButton::clicked, this, &CFdrDlg::ClearAll);
  connect(export_, &QPushButton::clicked, this, &CFdrDlg::ExportTicked);
  connect(filter_, &CFilterBar::FilterEdited, this, &CFdrDlg::ApplyFilter);
  connect(previewButton_, &QPushButton::toggled, this, &CFdrDlg::SetPreviewShown);
  connect(previewAction_, &QAction::toggled, this, &CFdrDlg::SetPreviewShown);
  // Both views share one selection: the current row is the one previewed.
  connect(list_->DetailView()->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { PreviewCurrentRow(); });
  // New rows leave nothing selected: nothing to preview.
  connect(list_->Model(), &QAbstractItemModel::modelReset, this, [this] { PreviewCurrentRow(); });
  // Going to another folder leaves the matches: the filter empties.
  connect(list_, &CExplorerListCtrl::FolderShown, this, [this] { filter_->ClearQuietly(); });
}

void CFdrDlg::SetPreviewShown(bool shown) {
  previewButton_->setChecked(shown);
  previewAction_->setChecked(shown);
  preview_->setVisible(shown);
  if (shown) {
    PreviewCurrentRow();
  } else {
    preview_->Clear();
  }
}

void CFdrDlg::PreviewCurrentRow() {
  if (!preview_->isVisible()) return;
  const QModelIndex current = list_->DetailView()->selectionModel()->currentIndex();
  if (!current.isValid() || current.row() >= list_->RowCount()) {
    preview_->Clear();
    return;
  }
  preview_->ShowNode(set_, list_->Model()->Volume(), list_->RowNode(current.row()));
}

void CFdrDlg::ApplyFilter() {
  FileFilter filter;
  std::u16string problem;
  if (!filter_->ReadFilter(filter, problem)) {
    filter_->ShowMessage(QString::fromStdU16String(problem), true);
    return;
  }
  if (filter.IsEmpty()) {
    if (list_->ShowsMatches()) list_->ShowFolderAgain();
    filter_->ShowMessage(QString(), false);
    return;
  }
  std::vector<std::uint32_t> matches;
  if (set_ != nullptr) matches = FindMatches(*set_, list_->Model()->Volume(), filter);
  const std::size_t count = matches.size();
  list_->ShowMatches(std::move(matches));
  if (count == 0) {
    filter_->ShowMessage(tr("没有符合筛选条件的文件或目录"), true);
  } else {
    filter_->ShowMessage(tr("在整个分区中找到 %1 项").arg(count), false);
  }
}

CFdrDlg::~CFdrDlg() {
  if (set_ != nullptr) set_->RemoveListener(this);
}

void CFdrDlg::OnVolumeSelected(int volume, std::uint32_t) {
  std::u16string text;
  if (set_ != nullptr && volume >= 0 && volume < static_cast<int>(set_->volumes.size())) {
    text = ReaderLossText(set_->volumes[static_cast<std::size_t>(volume)].readerState.loss);
  }
  readLoss_->setText(QString::fromStdU16String(text));
  readLoss_->setVisible(!text.empty());
}

void CFdrDlg::OnVolumesCleared() {
  readLoss_->clear();
  readLoss_->setVisible(false);
}

void CFdrDlg::SetVolumeSet(VolumeSet* set) {
  if (set_ != nullptr) set_->RemoveListener(this);
  set_ = set;
  if (set_ == nullptr) return;
  set_->AddListener(this);
  set_->AddListener(tree_);
  set_->AddListener(list_);
  tree_->SetVolumeSet(set_);
  list_->SetVolumeSet(set_);
  tree_->SetupTree();
  list_->SetupList();
}

bool CFdrDlg::CollectTickedNodes(std::vector<std::uint32_t>& out) const {
  out.clear();
  for (int row = 0; row < list_->RowCount(); ++row) {
    if (list_->IsRowChecked(row)) out.push_back(list_->RowNode(row));
  }
  return !out.empty();
}

void CFdrDlg::SelectAll() { list_->SetAllChecked(true); }

void CFdrDlg::ClearAll() { list_->SetAllChecked(false); }

void CFdrDlg::ExportTicked() {
  std::vector<std::uint32_t> nodes;
  if (!CollectTickedNodes(nodes)) {
    services_.boxes->Information(Text(kNothingTicked));
    return;
  }
  std::u16string target;
  if (!services_.choosers->ChooseTargetFolder(target)) return;
  const VolumeDescriptor* source = set_ != nullptr ? set_->Current() : nullptr;
  if (source != nullptr && TargetIsOnSourceDevice(target, *source) &&
      !services_.boxes->AskYesNo(Text(kTargetOnSource))) {
    return;
  }
  if (set_ == nullptr) {
    services_.boxes->Information(Text(kExportFailed));
    return;
  }
  ExportJob job;
  job.set = set_;
  job.target = target;
  job.indices = std::move(nodes);
  // The matches of a filter come from anywhere in the volume: each keeps its folders.
  job.keepPaths = list_->ShowsMatches();
  const bool ok = RunExport(job, *services_.presenter);
  std::u16string text = Text(ok ? kExportDone : kExportFailed) + u"\n" +
                        ExportSummaryText(job.counts, job.reportPaths, job.reportProblem);
  // A box holds a screenful: the rest of the names are in the report.
  if (!job.damagedFiles.empty()) text += u"\n\n" + DamagedFilesText(job.damagedFiles, kDamagedFilesShown);
  services_.boxes->Information(text);
}

}  // namespace kestrum
