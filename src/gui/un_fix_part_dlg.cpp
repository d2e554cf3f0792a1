#include "gui/un_fix_part_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "gui/qt_dialogs.h"
#include "repair/undo.h"

namespace kestrum {

CUnFixPartDlg::CUnFixPartDlg(const repair::DeviceHistory& history, const VolumeDescriptor& device,
                             const std::string& historyPath, repair::RepairPrompts& prompts, QWidget* parent)
    : QDialog(parent), history_(history), device_(device), historyPath_(historyPath), prompts_(prompts) {
  setWindowTitle(QStringLiteral("Dialog"));
  list_ = new QTableWidget(static_cast<int>(history_.records.size()), 2, this);
  list_->setHorizontalHeaderLabels({tr("设备描述"), tr("时间")});
  list_->setColumnWidth(0, 280);
  list_->setColumnWidth(1, 150);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->verticalHeader()->hide();
  for (int r = 0; r < list_->rowCount(); ++r) {
    auto* disk = new QTableWidgetItem(ToQString(history_.description));
    disk->setFlags(disk->flags() | Qt::ItemIsUserCheckable);
    disk->setCheckState(Qt::Unchecked);
    list_->setItem(r, 0, disk);
    list_->setItem(r, 1, new QTableWidgetItem(ToQString(history_.records[static_cast<std::size_t>(r)].time)));
  }
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { UndoRebuild(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(460, 260);
}

void CUnFixPartDlg::UndoRebuild() {
  int ticked = -1, count = 0;
  for (int r = 0; r < list_->rowCount(); ++r) {
    if (list_->item(r, 0)->checkState() == Qt::Checked) {
      ticked = r;
      ++count;
    }
  }
  if (count == 0) {
    prompts_.Inform(tr("请选择一个操作记录！").toStdU16String());
    return;
  }
  if (count > 1) {
    prompts_.Inform(tr("只能选择一个操作记录！").toStdU16String());
    return;
  }
  repair::UndoReport report;
  if (!repair::UndoRebuild(device_, history_, static_cast<std::size_t>(ticked), historyPath_, prompts_, report)) return;
  // Also after a failed write ("写磁盘出错！" was shown): the records that
  // were undone must leave the file, the ones that failed stay in it.
  completed_ = report.failed.empty();
  accept();
}

}  // namespace kestrum
