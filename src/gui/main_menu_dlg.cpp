#include "gui/main_menu_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrum {

namespace {

struct MenuEntry {
  int mode;  // 0: about
  const char16_t* caption;
  const char16_t* explanation;
};

// In the order they are shown.
constexpr MenuEntry kEntries[] = {
    {1, u"恢复误删除的文件", u"从分区中恢复误删除的文件。适用于文件被删除并且没有写入新文件的情况。"},
    {2, u"浏览恢复分区的文件",
     u"尝试浏览分区上的文件，适用于分区出现坏道、变成RAW(提示格式化)、无法打开时恢复分区上的文件。"},
    {3, u"搜索恢复分区的文件", u"搜索整个分区上的文件，浏览恢复分区文件的功能不可用时使用此功能。"},
    {4, u"搜索恢复磁盘的文件", u"搜索整个磁盘上的文件，分区丢失时使用此功能。"},
    {5, u"恢复丢失的分区", u"搜索丢失的分区，通过重建分区表，完美恢复丢失的分区及分区内数据。"},
    {0, u"关于本软件", u"软件版权、版本等信息。"},
};

}  // namespace

CMainMenuDlg::CMainMenuDlg(QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(24);
  grid->setVerticalSpacing(22);
  int row = 0;
  for (const MenuEntry& entry : kEntries) {
    auto* button = new QPushButton(QString::fromStdU16String(entry.caption), this);
    button->setFixedSize(200, 44);
    button->setObjectName(QStringLiteral("mode%1").arg(entry.mode));
    auto* label = new QLabel(QString::fromStdU16String(entry.explanation), this);
    label->setWordWrap(true);
    grid->addWidget(button, row, 0);
    grid->addWidget(label, row, 1);
    buttons_[entry.mode] = button;
    int mode = entry.mode;
    if (mode == 0) {
      connect(button, &QPushButton::clicked, this, &CMainMenuDlg::AboutRequested);
    } else {
      connect(button, &QPushButton::clicked, this, [this, mode] { emit ModeChosen(mode); });
    }
    ++row;
  }
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(60, 40, 60, 40);
  layout->addLayout(grid);
  layout->addStretch();
}

QPushButton* CMainMenuDlg::Button(int mode) const { return mode >= 0 && mode <= 5 ? buttons_[mode] : nullptr; }

void CMainMenuDlg::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  buttons_[2]->setFocus();  // "浏览恢复分区的文件" is the usual first choice
}

}  // namespace kestrum
