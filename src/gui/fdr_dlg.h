#pragma once
// The browser page: the folder tree, the file list with check boxes, and
// the buttons that tick rows and export them into a folder the user picks.

#include <QWidget>

#include <cstdint>
#include <vector>

#include "gui/gui_services.h"
#include "gui/page_host.h"
#include "fs/tree/volume_set.h"

class QAction;
class QLabel;
class QPushButton;

namespace kestrum {

class CExplorerListCtrl;
class CExplorerTreeCtrl;
class CFilterBar;
class CPreviewPane;

class CFdrDlg : public QWidget, public VolumeSetListener {
  Q_OBJECT

 public:
  CFdrDlg(PageHost& host, const GuiServices& services, QWidget* parent);
  ~CFdrDlg() override;

  // Hands over the main window's document; the two controls start listening.
  void SetVolumeSet(VolumeSet* set);

  bool CollectTickedNodes(std::vector<std::uint32_t>& out) const;
  void SelectAll();
  void ClearAll();
  void ExportTicked();
  // Shows the matches of what the filter bar asks over the whole shown
  // volume, or, with nothing asked, the shown folder again with its ticks.
  void ApplyFilter();
  // Shows or hides the preview pane (the "预览" button and the menu item).
  void SetPreviewShown(bool shown);

  CExplorerTreeCtrl* Tree() const { return tree_; }
  CExplorerListCtrl* List() const { return list_; }
  CFilterBar* Filter() const { return filter_; }
  CPreviewPane* Preview() const { return preview_; }
  QPushButton* PreviewButton() const { return previewButton_; }
  QPushButton* ExportButton() const { return export_; }
  // The line that says what the reading of the shown volume could not read
  // (a failing disk); hidden when it lost nothing.
  QLabel* ReadLossLine() const { return readLoss_; }

  void OnVolumeSelected(int volume, std::uint32_t node) override;
  void OnVolumesCleared() override;
  void OnVolumeAdded() override {}

 private:
  PageHost& host_;
  GuiServices services_;
  VolumeSet* set_ = nullptr;
  CExplorerTreeCtrl* tree_ = nullptr;
  CExplorerListCtrl* list_ = nullptr;
  CFilterBar* filter_ = nullptr;
  CPreviewPane* preview_ = nullptr;
  QPushButton* previewButton_ = nullptr;
  QAction* previewAction_ = nullptr;
  QPushButton* export_ = nullptr;
  QLabel* readLoss_ = nullptr;

  void PreviewCurrentRow();
};

}  // namespace kestrum
