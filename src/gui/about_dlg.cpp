#include "gui/about_dlg.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/banner.h"
#include "base/text.h"

namespace kestrum {

QString VersionText() { return QCoreApplication::translate("kestrum", "软件版本： V%1").arg(QStringLiteral(KESTRUM_VERSION)); }

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("关于 Varnel数据恢复"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* icon = new QLabel(this);
  icon->setPixmap(DrawAppIcon(64));
  auto* texts = new QVBoxLayout;
  auto* name = new QLabel(tr("软件名称：Varnel数据恢复-免费版"), this);
  auto* version = new QLabel(VersionText(), this);
  version->setObjectName(QStringLiteral("version"));
  auto* note = new QLabel(tr("恢复时只读取源磁盘，从不向其写入数据。\n请把恢复出的文件保存到其他磁盘。"), this);
  auto* copyright = new QLabel(tr("版权所有 (C) Varnel数据恢复 开发组"), this);
  for (QLabel* label : {name, version, note, copyright}) texts->addWidget(label);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(texts);
  auto* ok = new QPushButton(tr("确定"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(buttons);
}

}  // namespace kestrum
