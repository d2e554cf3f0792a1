// Times the browser on one volume image: the volume opened with its root
// shown, then one folder clicked in the folder tree. For each it prints the
// milliseconds until the file list's first paint with the rows on it, and
// until the event loop is idle again (the window answers input); for the
// opening also until the progress dialog closed (the volume read), and
// from there to idle (what the browser itself adds); then the same rows
// switched to the icon view and to the list view, until idle; then the
// filter bar over the whole volume: a name typed key by key (the slowest
// key, until the matches are painted and the window is idle), a pattern
// that every file matches, the kind "文档", and the filter cleared.
//
//   kestrum_gui_bench IMAGE FOLDER     (QT_QPA_PLATFORM=offscreen or a display)

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "base/text.h"
#include "gui/dev_sel_dlg.h"
#include "gui/explorer_list_ctrl.h"
#include "gui/explorer_tree_ctrl.h"
#include "gui/fdr_dlg.h"
#include "gui/filter_bar.h"
#include "gui/kestrum_dlg.h"
#include "gui/main_menu_dlg.h"
#include "gui/progress_dlg.h"

namespace kestrum {
namespace {

// Notes the end of the first paint of a widget that shows rows: the filter
// delivers the paint itself, so the time taken is the time after it.
class PaintProbe : public QObject {
 public:
  PaintProbe(QWidget* target, std::function<bool()> showsRows, const QElapsedTimer& clock)
      : target_(target), showsRows_(std::move(showsRows)), clock_(clock) {
    target_->installEventFilter(this);
  }
  void Arm() { paintedAt_ = -1; }
  qint64 PaintedAt() const { return paintedAt_; }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (object != target_ || event->type() != QEvent::Paint || inside_ || paintedAt_ >= 0) return false;
    inside_ = true;
    static_cast<QObject*>(target_)->event(event);
    inside_ = false;
    if (showsRows_()) paintedAt_ = clock_.nsecsElapsed();
    return true;
  }

 private:
  QWidget* target_;
  std::function<bool()> showsRows_;
  const QElapsedTimer& clock_;
  qint64 paintedAt_ = -1;
  bool inside_ = false;
};

// Notes when the progress dialog goes away: the volume is read.
class ProgressEndProbe : public QObject {
 public:
  explicit ProgressEndProbe(const QElapsedTimer& clock) : clock_(clock) { qApp->installEventFilter(this); }
  qint64 EndedAt() const { return endedAt_; }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Hide && qobject_cast<CProgressDlg*>(object) != nullptr) {
      endedAt_ = clock_.nsecsElapsed();
    }
    return false;
  }

 private:
  const QElapsedTimer& clock_;
  qint64 endedAt_ = -1;
};

struct Timing {
  qint64 start = 0;
  double paintMs = -1;
  double idleMs = -1;
};

// Runs `action`, then the event loop until it is about to wait with the rows painted.
Timing Measure(PaintProbe& probe, const QElapsedTimer& clock, const std::function<void()>& action) {
  probe.Arm();
  QEventLoop loop;
  qint64 idleAt = -1;
  auto* dispatcher = QAbstractEventDispatcher::instance();
  QMetaObject::Connection idle = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
    if (probe.PaintedAt() >= 0 && idleAt < 0) {
      idleAt = clock.nsecsElapsed();
      loop.quit();
    }
  });
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  qint64 start = clock.nsecsElapsed();
  action();
  if (idleAt < 0) loop.exec();
  QObject::disconnect(idle);
  Timing t;
  t.start = start;
  if (probe.PaintedAt() >= 0) t.paintMs = (probe.PaintedAt() - start) / 1e6;
  if (idleAt >= 0) t.idleMs = (idleAt - start) / 1e6;
  return t;
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name) {
  for (int i = 0; i < item->childCount(); ++i) {
    if (item->child(i)->text(0) == name) return item->child(i);
  }
  return nullptr;
}

int Run(const char* image, const char* folder) {
  MainWindowOptions options;
  options.systemDisks = false;
  options.images.push_back(FromUtf8(image));
  CKestrumDlg window(options);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  window.MainMenu()->Button(2)->click();  // the existing files of a volume
  window.DevSel()->Table()->selectRow(0);

  CExplorerListCtrl* list = window.Fdr()->List();
  CExplorerTreeCtrl* tree = window.Fdr()->Tree();
  QElapsedTimer clock;
  clock.start();
  PaintProbe probe(list->DetailView()->viewport(), [list] { return list->RowCount() > 0; }, clock);

  ProgressEndProbe readEnd(clock);
  Timing open = Measure(probe, clock, [&] { window.DevSel()->Next(); });
  double readMs = readEnd.EndedAt() >= 0 ? (readEnd.EndedAt() - open.start) / 1e6 : -1;
  int rootRows = list->RowCount();
  if (tree->topLevelItemCount() == 0) {
    std::fprintf(stderr, "gui_folder_bench: %s: no volume shown\n", image);
    return 1;
  }
  QTreeWidgetItem* item = ChildNamed(tree->topLevelItem(0), QString::fromUtf8(folder));
  if (item == nullptr) {
    std::fprintf(stderr, "gui_folder_bench: %s: no folder %s in the tree\n", image, folder);
    return 1;
  }
  tree->scrollToItem(item);
  QApplication::processEvents();
  QPoint at = tree->viewport()->mapTo(&window, tree->visualItemRect(item).center());
  Timing click = Measure(probe, clock, [&] {
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
  });
  if (tree->currentItem() != item) {
    std::fprintf(stderr, "gui_folder_bench: the click did not select %s\n", folder);
    return 1;
  }
  // The same rows in the icon view, then the list view (one widget shows both).
  PaintProbe iconProbe(list->IconListView()->viewport(), [list] { return list->RowCount() > 0; }, clock);
  Timing icons = Measure(iconProbe, clock, [&] { list->SetViewMode(CExplorerListCtrl::kIconView); });
  Timing names = Measure(iconProbe, clock, [&] { list->SetViewMode(CExplorerListCtrl::kListView); });
  const int folderRows = list->RowCount();

  // The filter over the whole volume, in the details view.
  list->SetViewMode(CExplorerListCtrl::kDetailView);
  QApplication::processEvents();
  CFilterBar* bar = window.Fdr()->Filter();
  double slowestKey = 0;
  int keyMatches = 0;
  for (QChar c : QStringLiteral("f1234")) {
    Timing key = Measure(probe, clock, [&] { QTest::keyClick(bar->NameEdit(), c.toLatin1()); });
    slowestKey = std::max(slowestKey, key.idleMs);
    keyMatches = list->RowCount();
  }
  Timing every = Measure(probe, clock, [&] { bar->NameEdit()->setText(QStringLiteral("*.txt")); });
  const int everyMatches = list->RowCount();
  bar->NameEdit()->clear();
  QApplication::processEvents();
  Timing kind = Measure(probe, clock, [&] { bar->TypeBox()->setCurrentText(QStringLiteral("文档")); });
  const int kindMatches = list->RowCount();
  Timing cleared = Measure(probe, clock, [&] { bar->ClearButton()->click(); });

  // root_rows read_ms open_paint_ms open_idle_ms shown_ms folder_rows click_paint_ms click_idle_ms
  // icon_view_idle_ms list_view_idle_ms key_matches slowest_key_idle_ms every_matches every_idle_ms
  // kind_matches kind_idle_ms cleared_idle_ms
  double shownMs = readMs >= 0 && open.idleMs >= 0 ? open.idleMs - readMs : -1;
  std::printf("%d %.1f %.1f %.1f %.1f %d %.1f %.1f %.1f %.1f %d %.1f %d %.1f %d %.1f %.1f\n", rootRows, readMs,
              open.paintMs, open.idleMs, shownMs, folderRows, click.paintMs, click.idleMs, icons.idleMs,
              names.idleMs, keyMatches, slowestKey, everyMatches, every.idleMs, kindMatches, kind.idleMs,
              cleared.idleMs);
  return 0;
}

}  // namespace
}  // namespace kestrum

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrum_gui_bench IMAGE FOLDER\n");
    return 2;
  }
  return kestrum::Run(argv[1], argv[2]);
}
