#include "gui/disk_scan_set_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/message_boxes.h"
#include "run/scan_settings.h"

namespace kestrum {

CDiskScanSetDlg::CDiskScanSetDlg(MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), boxes_(boxes) {
  setWindowTitle(tr("设置搜索参数"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* grid = new QGridLayout;
  address_ = new QLineEdit(this);
  size_ = new QLineEdit(this);
  grid->addWidget(new QLabel(tr("优先搜索地址："), this), 0, 0);
  grid->addWidget(address_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("GB"), this), 0, 2);
  grid->addWidget(new QLabel(tr("优先搜索大小："), this), 1, 0);
  grid->addWidget(size_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("GB"), this), 1, 2);
  auto* ok = new QPushButton(tr("确定"), this);
  auto* cancel = new QPushButton(tr("取消"), this);
  ok->setDefault(true);
  ok->setObjectName(QStringLiteral("ok"));
  cancel->setObjectName(QStringLiteral("cancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &CDiskScanSetDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CDiskScanSetDlg::reject);
  resize(320, sizeHint().height());
}

int CDiskScanSetDlg::exec() {
  address_->setText(QString::fromStdString(FormatEditFloat(priorityAddress)));
  size_->setText(QString::fromStdString(FormatEditFloat(prioritySize)));
  return QDialog::exec();
}

bool CDiskScanSetDlg::ReadEdit(QLineEdit* edit, float& out) {
  if (ParseEditFloat(edit->text().toStdString(), out)) return true;
  boxes_.Information(u"Enter a number.");
  edit->setFocus();
  edit->selectAll();
  return false;
}

void CDiskScanSetDlg::accept() {
  float address = 0;
  float size = 0;
  // The members change only once both edits hold numbers.
  if (!ReadEdit(address_, address) || !ReadEdit(size_, size)) return;
  priorityAddress = address;
  prioritySize = size;
  QDialog::accept();
}

}  // namespace kestrum
