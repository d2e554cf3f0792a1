#include "gui/qt_dialogs.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace kestrum {

QString ProductCaption() { return QCoreApplication::translate("kestrum", "Varnel数据恢复"); }

namespace {

// Short texts would make boxes too narrow for their caption, so their label
// gets a minimum width. Only theirs: the box lays itself out at its label's
// minimum, and a minimum below a longer text's own width cut that text off
// (Chinese has no spaces to show where) instead of letting it wrap.
constexpr int kMinimumTextWidth = 220;

void KeepCaptionRoom(QMessageBox& box) {
  if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    int widest = 0;
    for (const QString& line : box.text().split(QLatin1Char('\n'))) {
      widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    }
    if (widest < kMinimumTextWidth) label->setMinimumWidth(kMinimumTextWidth);
  }
}

int ShowBox(QWidget* owner, QMessageBox::Icon icon, const std::u16string& text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, ProductCaption(), ToQString(text), buttons, owner);
  box.setDefaultButton(defaultButton);
  KeepCaptionRoom(box);
  return box.exec();
}

}  // namespace

void QtMessageBoxes::Information(const std::u16string& text) {
  ShowBox(owner_, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBoxes::Ask(const std::u16string& text, DefaultAnswer preselected) {
  return ShowBox(owner_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                 preselected == DefaultAnswer::kYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

int QtMessageBoxes::Choose(const std::u16string& text, const std::vector<std::u16string>& options,
                           int recommended) {
  QMessageBox box(QMessageBox::Question, ProductCaption(), ToQString(text), QMessageBox::NoButton, owner_);
  KeepCaptionRoom(box);
  std::vector<QPushButton*> buttons;
  for (const std::u16string& option : options) buttons.push_back(box.addButton(ToQString(option), QMessageBox::AcceptRole));
  box.addButton(QCoreApplication::translate("kestrum", "取消"), QMessageBox::RejectRole);
  if (recommended >= 0 && recommended < static_cast<int>(buttons.size())) {
    box.setDefaultButton(buttons[static_cast<std::size_t>(recommended)]);
  }
  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
  }
  return -1;
}

bool QtFileChoosers::ChooseTargetFolder(std::u16string& out) {
  QString folder = QFileDialog::getExistingDirectory(owner_, QCoreApplication::translate("kestrum", "选择路径"), QString(),
                                                     QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return false;
  out = folder.toStdU16String();
  return true;
}

bool QtFileChoosers::ChooseImageFiles(std::vector<std::u16string>& out) {
  QStringList files = QFileDialog::getOpenFileNames(
      owner_, QCoreApplication::translate("kestrum", "打开镜像文件"), QString(),
      QCoreApplication::translate("kestrum", "磁盘镜像 (*.img *.dd *.raw *.bin *.iso *.vhd);;所有文件 (*)"));
  if (files.isEmpty()) return false;
  out.clear();
  for (const QString& file : files) out.push_back(file.toStdU16String());
  return true;
}

bool QtFileChoosers::ChooseImageTarget(const std::u16string& suggested, std::u16string& out) {
  // An existing file is not asked about here: the copy resumes from its map,
  // or refuses a file without one.
  const QString file = QFileDialog::getSaveFileName(owner_, QCoreApplication::translate("kestrum", "创建镜像文件"),
                                                    QString::fromStdU16String(suggested),
                                                    QCoreApplication::translate("kestrum", "磁盘镜像 (*.img);;所有文件 (*)"), nullptr,
                                                    QFileDialog::DontConfirmOverwrite);
  if (file.isEmpty()) return false;
  out = file.toStdU16String();
  return true;
}

}  // namespace kestrum
