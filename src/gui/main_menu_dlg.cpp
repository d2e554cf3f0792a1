#include "gui/main_menu_dlg.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrum {

namespace {

struct MenuEntry {
  int mode;  // 0: about
  const char* caption;  // source texts, translated where shown
  const char* explanation;
};

constexpr int kButtonWidth = 200;
constexpr int kButtonHeight = 44;

// In the order they are shown.
constexpr MenuEntry kEntries[] = {
    {1, QT_TRANSLATE_NOOP("kestrum", "恢复误删除的文件"), QT_TRANSLATE_NOOP("kestrum", "从分区中恢复误删除的文件。适用于文件被删除并且没有写入新文件的情况。")},
    {2, QT_TRANSLATE_NOOP("kestrum", "浏览恢复分区的文件"),
     QT_TRANSLATE_NOOP("kestrum", "尝试浏览分区上的文件，适用于分区出现坏道、变成RAW(提示格式化)、无法打开时恢复分区上的文件。")},
    {3, QT_TRANSLATE_NOOP("kestrum", "搜索恢复分区的文件"), QT_TRANSLATE_NOOP("kestrum", "搜索整个分区上的文件，浏览恢复分区文件的功能不可用时使用此功能。")},
    {4, QT_TRANSLATE_NOOP("kestrum", "搜索恢复磁盘的文件"), QT_TRANSLATE_NOOP("kestrum", "搜索整个磁盘上的文件，分区丢失时使用此功能。")},
    {5, QT_TRANSLATE_NOOP("kestrum", "恢复丢失的分区"), QT_TRANSLATE_NOOP("kestrum", "搜索丢失的分区，通过重建分区表，完美恢复丢失的分区及分区内数据。")},
    {0, QT_TRANSLATE_NOOP("kestrum", "关于本软件"), QT_TRANSLATE_NOOP("kestrum", "软件版权、版本等信息。")},
};

}  // namespace

CMainMenuDlg::CMainMenuDlg(QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(24);
  grid->setVerticalSpacing(22);
  int row = 0;
  for (const MenuEntry& entry : kEntries) {
    auto* button = new QPushButton(QCoreApplication::translate("kestrum", entry.caption), this);
    button->setObjectName(QStringLiteral("mode%1").arg(entry.mode));
    auto* label = new QLabel(QCoreApplication::translate("kestrum", entry.explanation), this);
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
  // One width for all, as wide as the widest caption needs (English ones
  // are longer than the Chinese).
  int width = kButtonWidth;
  for (QPushButton* button : buttons_) width = std::max(width, button->sizeHint().width());
  for (QPushButton* button : buttons_) button->setFixedSize(width, kButtonHeight);
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
