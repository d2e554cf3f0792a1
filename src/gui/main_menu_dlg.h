#pragma once
// The first page: the five recovery functions and "关于本软件", each with a
// line that says when to use it.

#include <QWidget>

class QPushButton;

namespace kestrum {

class CMainMenuDlg : public QWidget {
  Q_OBJECT

 public:
  explicit CMainMenuDlg(QWidget* parent);

  // The button of function `mode` (1–5); 0 is "关于本软件".
  QPushButton* Button(int mode) const;

 signals:
  void ModeChosen(int mode);
  void AboutRequested();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QPushButton* buttons_[6] = {};
};

}  // namespace kestrum
