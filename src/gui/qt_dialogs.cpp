#include "gui/qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace kestrum {

namespace {

// Short texts would make boxes too narrow for their caption.
int ShowBox(QWidget* owner, QMessageBox::Icon icon, const std::u16string& text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, kProductCaption, ToQString(text), buttons, owner);
  box.setDefaultButton(defaultButton);
  box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 220px; }"));
  return box.exec();
}

}  // namespace

void QtMessageBoxes::Information(const std::u16string& text) {
  ShowBox(owner_, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBoxes::AskYesNo(const std::u16string& text) {
  return ShowBox(owner_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                 QMessageBox::No) == QMessageBox::Yes;
}

bool QtFileChoosers::ChooseTargetFolder(std::u16string& out) {
  QString folder = QFileDialog::getExistingDirectory(owner_, QStringLiteral("选择路径"), QString(),
                                                     QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return false;
  out = folder.toStdU16String();
  return true;
}

bool QtFileChoosers::ChooseImageFiles(std::vector<std::u16string>& out) {
  QStringList files = QFileDialog::getOpenFileNames(
      owner_, QStringLiteral("打开镜像文件"), QString(),
      QStringLiteral("磁盘镜像 (*.img *.dd *.raw *.bin *.iso *.vhd);;所有文件 (*)"));
  if (files.isEmpty()) return false;
  out.clear();
  for (const QString& file : files) out.push_back(file.toStdU16String());
  return true;
}

}  // namespace kestrum
