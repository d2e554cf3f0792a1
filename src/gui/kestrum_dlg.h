#pragma once
// The main window: the banner, the four pages stacked in one place (main
// menu, device page, browser, repair), the version line, and the document of
// every volume read in this run.

#include <QDialog>
#include <QPixmap>

#include <memory>
#include <string>
#include <vector>

#include "gui/gui_services.h"
#include "gui/page_host.h"
#include "fs/tree/volume_set.h"

class QLabel;
class QStackedWidget;

namespace kestrum {

class CDevSelDlg;
class CFdrDlg;
class CMainMenuDlg;
class CPartFixDlg;

struct MainWindowOptions {
  std::vector<std::u16string> images;  // added as disks to the device page
  bool systemDisks = true;             // list the machine's disks too
  // Left null, the Qt boxes, choosers and progress dialog are used.
  MessageBoxes* boxes = nullptr;
  FileChoosers* choosers = nullptr;
  AdminRestart* restart = nullptr;
};

class CKestrumDlg : public QDialog, public PageHost {
  Q_OBJECT

 public:
  CKestrumDlg(const MainWindowOptions& options, QWidget* parent = nullptr);
  ~CKestrumDlg() override;

  void ShowPage(PageId page) override;
  PageId CurrentPage() const;
  // A main-menu function: mode, reset scan settings, device page, list.
  void SelectMode(int mode);
  int Mode() const { return mode_; }
  void ShowAbout();

  CMainMenuDlg* MainMenu() const { return menu_; }
  CDevSelDlg* DevSel() const { return devSel_; }
  CFdrDlg* Fdr() const { return fdr_; }
  CPartFixDlg* PartFix() const { return partFix_; }
  VolumeSet& Volumes() { return set_; }
  QLabel* VersionLabel() const { return version_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  VolumeSet set_;
  std::unique_ptr<MessageBoxes> ownBoxes_;
  std::unique_ptr<FileChoosers> ownChoosers_;
  std::unique_ptr<AdminRestart> ownRestart_;
  std::unique_ptr<ProgressPresenter> presenter_;
  GuiServices services_;
  int mode_ = 0;
  QPixmap banner_;
  QStackedWidget* pages_ = nullptr;
  CMainMenuDlg* menu_ = nullptr;
  CDevSelDlg* devSel_ = nullptr;
  CFdrDlg* fdr_ = nullptr;
  CPartFixDlg* partFix_ = nullptr;
  QLabel* version_ = nullptr;
};

}  // namespace kestrum
