#pragma once
// The browser page: the folder tree, the file list with check boxes, and
// the buttons that tick rows and export them into a folder the user picks.

#include <QWidget>

#include <cstdint>
#include <vector>

#include "gui/gui_services.h"
#include "gui/page_host.h"

class QPushButton;

namespace kestrum {

class CExplorerListCtrl;
class CExplorerTreeCtrl;
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

  CExplorerTreeCtrl* Tree() const { return tree_; }
  CExplorerListCtrl* List() const { return list_; }
  QPushButton* ExportButton() const { return export_; }

 private:
  PageHost& host_;
  GuiServices services_;
  VolumeSet* set_ = nullptr;
  CExplorerTreeCtrl* tree_ = nullptr;
  CExplorerListCtrl* list_ = nullptr;
  QPushButton* export_ = nullptr;
};

}  // namespace kestrum
