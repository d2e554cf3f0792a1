#include "gui/part_fix_dlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "gui/message_boxes.h"
#include "gui/un_fix_part_dlg.h"
#include "gui/qt_dialogs.h"
#include "repair/candidates.h"
#include "repair/rebuild.h"
#include "repair/repair_history.h"
#include "repair/undo.h"

namespace kestrum {

namespace {

constexpr int kColumnWidths[repair::kCandidateColumns] = {80, 80, 120, 120, 120, 120, 100, 100};

}  // namespace

void BoxPrompts::Inform(const std::u16string& text) { boxes_.Information(text); }
bool BoxPrompts::AskYesNo(const std::u16string& text) { return boxes_.AskYesNo(text); }
int BoxPrompts::Choose(const std::u16string& text, const std::vector<std::u16string>& options, int recommended) {
  return boxes_.Choose(text, options, recommended);
}

CPartFixDlg::CPartFixDlg(PageHost& host, const GuiServices& services, QWidget* parent)
    : QWidget(parent), host_(host), services_(services), historyPath_(repair::DefaultHistoryPath()) {
  list_ = new QTableWidget(this);
  list_->setColumnCount(static_cast<int>(repair::kCandidateColumns));
  const repair::CandidateRow captions = repair::CandidateCaptions();
  for (int c = 0; c < static_cast<int>(captions.size()); ++c) {
    auto* header = new QTableWidgetItem(ToQString(captions[static_cast<std::size_t>(c)]));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->setHorizontalHeaderItem(c, header);
    list_->setColumnWidth(c, kColumnWidths[c]);
  }
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(true);
  list_->verticalHeader()->hide();
  undo_ = new QPushButton(tr("撤销重建操作"), this);
  rebuild_ = new QPushButton(tr("重建分区表"), this);
  auto* back = new QPushButton(tr("上一步"), this);
  connect(undo_, &QPushButton::clicked, this, [this] { Undo(); });
  connect(rebuild_, &QPushButton::clicked, this, [this] { Rebuild(); });
  connect(back, &QPushButton::clicked, this, [this] { host_.ShowPage(PageId::kDeviceSelection); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(undo_);
  buttons->addStretch();
  buttons->addWidget(rebuild_);
  buttons->addWidget(back);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
}

void CPartFixDlg::FillCandidates(const VolumeDescriptor& device, const repair::FoundPartitionList& found) {
  device_ = device;
  list_->setRowCount(0);
  allFound_ = found;
  candidates_ = repair::MakeCandidates(found);
  list_->setRowCount(static_cast<int>(candidates_.size()));
  for (std::size_t r = 0; r < candidates_.size(); ++r) {
    repair::CandidateRow row = repair::FormatCandidateRow(candidates_[r]);
    for (std::size_t c = 0; c < row.size(); ++c) {
      auto* item = new QTableWidgetItem(ToQString(row[c]));
      if (c == 0) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
      }
      list_->setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
  }
}

bool CPartFixDlg::CollectTickedCandidates(std::vector<repair::FoundPartition>& selection) {
  selection.clear();
  for (int r = 0; r < list_->rowCount() && r < static_cast<int>(candidates_.size()); ++r) {
    QTableWidgetItem* item = list_->item(r, 0);
    if (item != nullptr && item->checkState() == Qt::Checked) {
      selection.push_back(candidates_[static_cast<std::size_t>(r)]);
    }
  }
  if (selection.empty()) {
    services_.boxes->Information(tr("请至少选择一个分区!").toStdU16String());
    return false;
  }
  return true;
}

void CPartFixDlg::Rebuild() {
  repair::RebuildRequest request;
  if (!CollectTickedCandidates(request.selection)) return;
  request.device = device_;
  request.allFound = allFound_;
  request.historyPath = historyPath_;
  request.askTable = true;  // GPT or MBR, when both would do
  BoxPrompts prompts(*services_.boxes);
  repair::RebuildReport report;
  repair::RebuildPartitionTable(request, prompts, report);
}

void CPartFixDlg::Undo() {
  BoxPrompts prompts(*services_.boxes);
  repair::DeviceHistory history;
  if (!repair::FindDeviceHistory(historyPath_, device_.diskDescription, history, prompts)) return;
  CUnFixPartDlg dialog(history, device_, historyPath_, prompts, this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (dialog.Completed()) services_.boxes->Information(device_.diskDescription);
  if (!repair::SaveUndoneHistory(historyPath_, dialog.History())) {
    services_.boxes->Information(tr("无法更新修复历史记录！").toStdU16String());
  }
}

}  // namespace kestrum
