#include "gui/part_fix_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrum {

CPartFixDlg::CPartFixDlg(PageHost& host, QWidget* parent) : QWidget(parent) {
  auto* text = new QLabel(QStringLiteral("分区修复功能将在后续版本中提供。"), this);
  text->setAlignment(Qt::AlignCenter);
  auto* back = new QPushButton(QStringLiteral("上一步"), this);
  connect(back, &QPushButton::clicked, this, [&host] { host.ShowPage(PageId::kDeviceSelection); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(back);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text, 1);
  layout->addLayout(buttons);
}

}  // namespace kestrum
