#pragma once
// "关于本软件": product name and version.

#include <QDialog>

namespace kestrum {

// "软件版本： V2.16"
QString VersionText();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent);
};

}  // namespace kestrum
