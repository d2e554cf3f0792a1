#pragma once
// The device page: the volumes or the disks the chosen function works on,
// refresh, scan settings, next and back. Disk image files can be added and
// then count as disks.

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "gui/gui_services.h"
#include "gui/page_host.h"
#include "discovery/discovery.h"
#include "scan/scan_state.h"

class QPushButton;
class QTableWidget;

namespace kestrum {

class CPartFixDlg;
class VolumeSet;

class CDevSelDlg : public QWidget {
  Q_OBJECT

 public:
  CDevSelDlg(PageHost& host, const GuiServices& services, QWidget* parent);

  void SetVolumeSet(VolumeSet* set) { set_ = set; }
  // Where a lost-partition scan leaves its candidates.
  void SetRepairPage(CPartFixDlg* page) { repairPage_ = page; }
  // Whether the machine's own disks are listed beside the added images.
  void SetSystemDisks(bool list) { selection_.systemDisks = list; }
  // Where the machine's disks are looked up and how they are opened.
  void SetDiscoveryPlatform(DiscoveryPlatform platform) { selection_.platform = std::move(platform); }
  // Adds image files as disks; already added paths are not added twice.
  void AddImages(const std::vector<std::u16string>& paths);
  const DiskSelection& Selection() const { return selection_; }

  // 1–5; rebuilds the columns when it changes.
  void SetMode(int mode);
  int Mode() const { return mode_; }
  void ResetScanSettings();
  Sector64 PriorityStart() const { return priorityStart_; }
  Sector64 PriorityLength() const { return priorityLength_; }

  void RefreshList();
  void ListVolumes();
  void ListDisks();
  void Next();
  void EditScanSettings();
  void OpenImageFile();
  // "创建镜像文件…": the selected disk or volume copied into an image file
  // behind the progress dialog, then added to the list.
  void CreateImageFile();
  // "以管理员身份重新启动": the program again through pkexec, with the images
  // added so far; this window closes once that program has run.
  void RestartAsAdmin();
  // The restarted program's command line: the language, the images, whether
  // the machine's disks are listed.
  QStringList RestartArguments() const;

  QTableWidget* Table() const { return table_; }
  const VolumeList& Volumes() const { return volumes_; }
  const DiskList& Disks() const { return disks_; }
  ScanState& KeptScanState() { return scanState_; }

 private:
  void BuildColumns();
  int SelectedRow() const;
  void TellProblems(const DiscoveryProblems& problems);
  // One box naming the devices that would not open, and why.
  void TellUnopened(const UnopenedDevices& unopened);
  void ReadSelectedVolume(int row);
  // Modes 3 and 4: the deep scan of `area` behind the progress dialog, then
  // the volumes found in the browser.
  void SearchForFiles(const VolumeDescriptor& area);
  // Mode 5: the lost-partition scan of the disk, then its candidates on the
  // repair page.
  void ScanForLostPartitions(int row);
  bool IsVolumeMode() const { return mode_ >= 1 && mode_ <= 3; }

  PageHost& host_;
  GuiServices services_;
  VolumeSet* set_ = nullptr;
  CPartFixDlg* repairPage_ = nullptr;
  int mode_ = 0;
  DiskSelection selection_;
  VolumeList volumes_;
  DiskList disks_;
  Sector64 priorityStart_ = 0;
  Sector64 priorityLength_ = 0;
  QTableWidget* table_ = nullptr;
  QPushButton* restartButton_ = nullptr;  // "以管理员身份重新启动"
  // The deep scan's kept state, offered for reuse when the same device and
  // area are scanned again in this run of the program.
  ScanState scanState_;
};

}  // namespace kestrum
