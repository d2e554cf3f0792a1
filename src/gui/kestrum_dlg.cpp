#include "gui/kestrum_dlg.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>

#include "gui/about_dlg.h"
#include "gui/admin_restart.h"
#include "gui/banner.h"
#include "gui/dev_sel_dlg.h"
#include "gui/main_menu_dlg.h"
#include "gui/part_fix_dlg.h"
#include "gui/progress_dlg.h"
#include "gui/qt_dialogs.h"
#include "gui/fdr_dlg.h"

namespace kestrum {

namespace {
constexpr int kWindowWidth = 900;
constexpr int kWindowHeight = 700;
constexpr int kPagesTop = 80;
constexpr int kPageWidth = 894;
constexpr int kPageHeight = 570;
}  // namespace

CKestrumDlg::CKestrumDlg(const MainWindowOptions& options, QWidget* parent) : QDialog(parent) {
  if (options.boxes == nullptr) ownBoxes_ = std::make_unique<QtMessageBoxes>(this);
  if (options.choosers == nullptr) ownChoosers_ = std::make_unique<QtFileChoosers>(this);
  presenter_ = std::make_unique<QtProgressPresenter>(this);
  services_.boxes = options.boxes != nullptr ? options.boxes : ownBoxes_.get();
  services_.choosers = options.choosers != nullptr ? options.choosers : ownChoosers_.get();
  services_.presenter = presenter_.get();
  if (options.restart == nullptr) ownRestart_ = std::make_unique<ElevatedRestart>(this);
  services_.restart = options.restart != nullptr ? options.restart : ownRestart_.get();

  setWindowTitle(tr("Varnel数据恢复-免费版"));
  setWindowIcon(QIcon(DrawAppIcon(64)));
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  move(200, 50);
  setFixedSize(kWindowWidth, kWindowHeight);
  banner_ = DrawBanner(kWindowWidth, 200);

  pages_ = new QStackedWidget(this);
  pages_->setGeometry(0, kPagesTop, kPageWidth, kPageHeight);
  menu_ = new CMainMenuDlg(pages_);
  devSel_ = new CDevSelDlg(*this, services_, pages_);
  fdr_ = new CFdrDlg(*this, services_, pages_);
  partFix_ = new CPartFixDlg(*this, services_, pages_);
  for (QWidget* page : {static_cast<QWidget*>(menu_), static_cast<QWidget*>(devSel_),
                        static_cast<QWidget*>(fdr_), static_cast<QWidget*>(partFix_)}) {
    page->setAutoFillBackground(true);
    pages_->addWidget(page);
  }
  devSel_->SetVolumeSet(&set_);
  devSel_->SetRepairPage(partFix_);
  devSel_->SetSystemDisks(options.systemDisks);
  devSel_->AddImages(options.images);
  fdr_->SetVolumeSet(&set_);

  version_ = new QLabel(VersionText(), this);
  version_->setGeometry(12, kPagesTop + kPageHeight + 12, 300, 24);

  connect(menu_, &CMainMenuDlg::ModeChosen, this, &CKestrumDlg::SelectMode);
  connect(menu_, &CMainMenuDlg::AboutRequested, this, &CKestrumDlg::ShowAbout);
  ShowPage(PageId::kMainMenu);
}

CKestrumDlg::~CKestrumDlg() {
  // The pages listen to set_; they go before it does.
  delete pages_;
}

void CKestrumDlg::ShowPage(PageId page) {
  switch (page) {
    case PageId::kMainMenu: pages_->setCurrentWidget(menu_); break;
    case PageId::kDeviceSelection: pages_->setCurrentWidget(devSel_); break;
    case PageId::kBrowser: pages_->setCurrentWidget(fdr_); break;
    case PageId::kRepair: pages_->setCurrentWidget(partFix_); break;
  }
}

PageId CKestrumDlg::CurrentPage() const {
  QWidget* current = pages_->currentWidget();
  if (current == devSel_) return PageId::kDeviceSelection;
  if (current == fdr_) return PageId::kBrowser;
  if (current == partFix_) return PageId::kRepair;
  return PageId::kMainMenu;
}

void CKestrumDlg::SelectMode(int mode) {
  mode_ = mode;
  devSel_->SetMode(mode);
  devSel_->ResetScanSettings();
  ShowPage(PageId::kDeviceSelection);
  devSel_->RefreshList();
}

void CKestrumDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CKestrumDlg::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // Only the strip above the pages shows.
  painter.drawPixmap(0, 0, banner_, 0, 0, kWindowWidth, kPagesTop);
  QDialog::paintEvent(event);
}

}  // namespace kestrum

namespace kestrum {

void CKestrumDlg::keyPressEvent(QKeyEvent* event) {
  // Escape would close the whole program, as it closes any dialog.
  if (event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kestrum
