#pragma once
// The browser page: the folder tree, the file list with check boxes, and
// the buttons that tick rows and export them into a folder the user picks.

#include <QWidget>

#include <cstdint>
#include <vector>

#include "gui/gui_services.h"
#include "gui/page_host.h"

class QAction;
class QPushButton;

namespace kestrum {

class CExplorerListCtrl;
class CExplorerTreeCtrl;
class CFilterBar;
class CPreviewPane;
class VolumeSet;

class CFdrDlg : public QWidget {
  Q_OBJECT

 public:
  CFdrDlg(PageHost& host, const GuiServices& services, QWidget* parent);

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

  void PreviewCurrentRow();
};

}  // namespace kestrum
