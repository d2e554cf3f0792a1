#include "gui/dev_sel_dlg.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "imaging/disk_imager.h"
#include "base/catalog.h"
#include "discovery/device_rows.h"
#include "gui/admin_restart.h"
#include "gui/message_boxes.h"
#include "fs/bitlocker.h"
#include "fs/part_data_thread.h"
#include "run/progress_runner.h"
#include "gui/qt_dialogs.h"
#include "run/scan_settings.h"
#include "base/text.h"
#include "fs/tree/volume_set.h"
#include "gui/disk_scan_set_dlg.h"
#include "gui/part_fix_dlg.h"
#include "repair/found_partition.h"
#include "repair/scan_finish_hooks.h"
#include "scan/scan_pipeline.h"

namespace kestrum {

namespace {

constexpr int kVolumeWidths[] = {50, 100, 100, 120, 250};
constexpr int kDiskWidths[] = {200, 100};

QTableWidgetItem* Cell(const std::u16string& text) {
  auto* item = new QTableWidgetItem(ToQString(text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

CDevSelDlg::CDevSelDlg(PageHost& host, const GuiServices& services, QWidget* parent)
    : QWidget(parent), host_(host), services_(services) {
  table_ = new QTableWidget(this);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setShowGrid(true);
  table_->setWordWrap(false);
  table_->setTabKeyNavigation(false);  // Tab moves on to the buttons
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 8);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->horizontalHeader()->setStretchLastSection(false);

  auto* refresh = new QPushButton(tr("刷新"), this);
  auto* settings = new QPushButton(tr("设置"), this);
  auto* next = new QPushButton(tr("下一步"), this);
  auto* back = new QPushButton(tr("上一步"), this);
  auto* image = new QPushButton(tr("打开镜像文件"), this);
  auto* copy = new QPushButton(tr("创建镜像文件…"), this);
  copy->setObjectName(QStringLiteral("createImage"));
  // Started without the rights to read disks (from the menu, say), the page
  // offers to start again with them.
  auto* admin = new QPushButton(tr("以管理员身份重新启动"), this);
  admin->setObjectName(QStringLiteral("restartAsAdmin"));
  admin->setVisible(false);
  restartButton_ = admin;
  refresh->setObjectName(QStringLiteral("refresh"));
  settings->setObjectName(QStringLiteral("settings"));
  next->setObjectName(QStringLiteral("next"));
  back->setObjectName(QStringLiteral("back"));
  image->setObjectName(QStringLiteral("openImage"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(image);
  buttons->addWidget(copy);
  buttons->addWidget(refresh);
  buttons->addWidget(settings);
  buttons->addWidget(admin);
  buttons->addStretch();
  buttons->addWidget(back);
  buttons->addWidget(next);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(table_);
  layout->addLayout(buttons);

  // Keyboard order as the buttons stand, left to right.
  setTabOrder(table_, image);
  setTabOrder(image, copy);
  setTabOrder(copy, refresh);
  setTabOrder(refresh, settings);
  setTabOrder(settings, admin);
  setTabOrder(admin, back);
  setTabOrder(back, next);

  connect(refresh, &QPushButton::clicked, this, &CDevSelDlg::RefreshList);
  connect(settings, &QPushButton::clicked, this, &CDevSelDlg::EditScanSettings);
  connect(next, &QPushButton::clicked, this, &CDevSelDlg::Next);
  connect(back, &QPushButton::clicked, this, [this] { host_.ShowPage(PageId::kMainMenu); });
  connect(image, &QPushButton::clicked, this, &CDevSelDlg::OpenImageFile);
  connect(copy, &QPushButton::clicked, this, &CDevSelDlg::CreateImageFile);
  connect(admin, &QPushButton::clicked, this, &CDevSelDlg::RestartAsAdmin);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { Next(); });
}

void CDevSelDlg::AddImages(const std::vector<std::u16string>& paths) {
  for (const std::u16string& path : paths) {
    if (std::find(selection_.paths.begin(), selection_.paths.end(), path) == selection_.paths.end()) {
      selection_.paths.push_back(path);
    }
  }
}

void CDevSelDlg::OpenImageFile() {
  std::vector<std::u16string> paths;
  if (!services_.choosers->ChooseImageFiles(paths)) return;
  AddImages(paths);
  if (mode_ != 0) RefreshList();
}

void CDevSelDlg::CreateImageFile() {
  const int row = SelectedRow();
  if (row < 0) {
    services_.boxes->Information((IsVolumeMode() ? tr("请选择一个分区") : tr("请选择一个磁盘")).toStdU16String());
    return;
  }
  ImagingJob job;
  std::u16string name;
  if (IsVolumeMode()) {
    const VolumeDescriptor& v = volumes_[static_cast<std::size_t>(row)];
    // A partition device is copied as it is; a volume of an image file as
    // its part of the file.
    const bool ownDevice = !v.volumePath.empty();
    job.source = ownDevice ? v.volumePath : v.diskPath;
    if (!ownDevice) {
      job.firstSector = v.startSector;
      job.sectorCount = v.sectorCount;
    }
    name = v.name;
  } else {
    job.source = disks_[static_cast<std::size_t>(row)].path;
    name = disks_[static_cast<std::size_t>(row)].name;
  }
  std::u16string target;
  std::replace(name.begin(), name.end(), u'#', u'-');  // "disk.img#2"
  if (!services_.choosers->ChooseImageTarget(name + tr("-镜像.img").toStdU16String(), target)) return;
  job.target = ToUtf8(target);
  job.mapHeader = {"Mapfile. Created by Varnel数据恢复", "Source: " + ToUtf8(job.source)};  // untranslated: the map's own header
  DiskImager imager;
  std::u16string problem;
  if (!imager.Open(job, problem)) {
    services_.boxes->Information(problem);
    return;
  }
  RunImaging(imager, *services_.presenter);
  std::u16string text = imager.Problem().empty() ? u"" : imager.Problem() + u"\n";
  text += (imager.Complete() && imager.Problem().empty() ? tr("镜像文件创建完成！\n") : tr("镜像文件尚未完成。\n")).toStdU16String();
  services_.boxes->Information(text + ImagingSummaryText(imager));
  AddImages({target});
  RefreshList();
}

QStringList CDevSelDlg::RestartArguments() const {
  QStringList arguments = {QStringLiteral("--lang"),
                           CurrentLanguage() == Language::kEnglish ? QStringLiteral("en") : QStringLiteral("zh")};
  if (!selection_.systemDisks) arguments << QStringLiteral("--images-only");
  // The restarted program starts in another folder.
  for (const std::u16string& path : selection_.paths) arguments << QFileInfo(ToQString(path)).absoluteFilePath();
  return arguments;
}

void CDevSelDlg::RestartAsAdmin() {
  QString why;
  if (services_.restart->Restart(RestartArguments(), why)) {
    window()->close();
    return;
  }
  services_.boxes->Information(tr("无法以管理员身份重新启动：%1").arg(why).toStdU16String());
}

void CDevSelDlg::SetMode(int mode) {
  if (mode == mode_) return;
  mode_ = mode;
  BuildColumns();
}

void CDevSelDlg::BuildColumns() {
  table_->clear();
  table_->setRowCount(0);
  if (IsVolumeMode()) {
    table_->setColumnCount(static_cast<int>(kVolumeColumns.size()));
    for (std::size_t c = 0; c < kVolumeColumns.size(); ++c) {
      table_->setHorizontalHeaderItem(static_cast<int>(c), new QTableWidgetItem(ToQString(Tr(kVolumeColumns[c]))));
      table_->setColumnWidth(static_cast<int>(c), kVolumeWidths[c]);
    }
  } else {
    table_->setColumnCount(static_cast<int>(kDiskColumns.size()));
    for (std::size_t c = 0; c < kDiskColumns.size(); ++c) {
      table_->setHorizontalHeaderItem(static_cast<int>(c), new QTableWidgetItem(ToQString(Tr(kDiskColumns[c]))));
      table_->setColumnWidth(static_cast<int>(c), kDiskWidths[c]);
    }
  }
}

void CDevSelDlg::ResetScanSettings() {
  priorityStart_ = 0;
  priorityLength_ = 0;
}

void CDevSelDlg::RefreshList() {
  restartButton_->setVisible(services_.restart != nullptr && services_.restart->LacksRights());
  table_->setRowCount(0);
  if (IsVolumeMode()) {
    ListVolumes();
  } else {
    ListDisks();
  }
}

void CDevSelDlg::TellUnopened(const UnopenedDevices& unopened) {
  if (!unopened.empty()) TellProblems(UnopenedDeviceLines(unopened));
}

void CDevSelDlg::TellProblems(const DiscoveryProblems& problems) {
  if (problems.empty()) return;
  std::u16string text;
  for (const std::u16string& problem : problems) {
    if (!text.empty()) text += u"\n";
    text += problem;
  }
  services_.boxes->Information(text);
}

void CDevSelDlg::ListVolumes() {
  VolumeListRequest request;
  request.selection = selection_;
  bool ok = RunWithProgress([&request] { VolumeListThread(request); }, false, *services_.presenter);
  TellProblems(request.problems);
  if (!ok) {
    services_.boxes->Information(tr("获取设备信息失败!").toStdU16String());
    return;
  }
  if (request.volumes.empty()) {
    if (request.unopened.empty()) {
      services_.boxes->Information(tr("未发现分区！").toStdU16String());
    } else {
      TellUnopened(request.unopened);
    }
    return;
  }
  volumes_ = std::move(request.volumes);
  table_->setRowCount(static_cast<int>(volumes_.size()));
  for (std::size_t r = 0; r < volumes_.size(); ++r) {
    VolumeRow row = FormatVolumeRow(volumes_[r]);
    for (std::size_t c = 0; c < row.size(); ++c) {
      table_->setItem(static_cast<int>(r), static_cast<int>(c), Cell(row[c]));
    }
  }
  // Names such as "disk.img#2" are wider than the drive letters the column was made for.
  table_->resizeColumnToContents(0);
  table_->setColumnWidth(0, std::max(table_->columnWidth(0) + 8, kVolumeWidths[0]));
  table_->selectRow(0);
  table_->setCurrentCell(0, 0);
  table_->setFocus();
  TellUnopened(request.unopened);  // after the rows, so that they stand behind the box
}

void CDevSelDlg::ListDisks() {
  disks_.clear();
  DiscoveryProblems problems;
  UnopenedDevices unopened;
  bool any = EnumerateDisks(selection_, disks_, &problems, &unopened);
  TellProblems(problems);
  if (!any) {
    if (unopened.empty()) {
      services_.boxes->Information(
          tr("未发现磁盘设备，请确定磁盘设备正确连接电脑，然后点击刷新按钮!").toStdU16String());
    } else {
      TellUnopened(unopened);
    }
    return;
  }
  table_->setRowCount(static_cast<int>(disks_.size()));
  for (std::size_t r = 0; r < disks_.size(); ++r) {
    DiskRow row = FormatDiskRow(disks_[r]);
    for (std::size_t c = 0; c < row.size(); ++c) {
      table_->setItem(static_cast<int>(r), static_cast<int>(c), Cell(row[c]));
    }
  }
  table_->clearSelection();
  TellUnopened(unopened);
}

int CDevSelDlg::SelectedRow() const {
  int first = -1;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    if (first < 0 || index.row() < first) first = index.row();
  }
  return first;
}

void CDevSelDlg::Next() {
  int row = SelectedRow();
  if (IsVolumeMode()) {
    if (row < 0 || row >= static_cast<int>(volumes_.size())) {
      services_.boxes->Information(tr("请选择一个分区").toStdU16String());
      return;
    }
    if (mode_ == 1 || mode_ == 2) {
      ReadSelectedVolume(row);
      return;
    }
  } else if (row < 0 || row >= static_cast<int>(disks_.size())) {
    services_.boxes->Information(tr("请选择一个磁盘").toStdU16String());
    return;
  }
  if (mode_ == kScanPartition) {
    // The scan reads the partition's disk; the copy stands for the area scanned.
    VolumeDescriptor area = volumes_[static_cast<std::size_t>(row)];
    area.fsKind = kFsScanArea;
    SearchForFiles(area);
    return;
  }
  if (mode_ == kScanDisk) {
    // A whole disk carries no description: its earlier scan is never offered again.
    VolumeDescriptor area = WholeDiskArea(disks_[static_cast<std::size_t>(row)]);
    area.diskDescription.clear();
    area.name.clear();
    SearchForFiles(area);
    return;
  }
  if (mode_ == kScanLostPartitions) ScanForLostPartitions(row);
}

void CDevSelDlg::ReadSelectedVolume(int row) {
  PartDataJob job;
  job.volume = volumes_[static_cast<std::size_t>(row)];
  if (job.volume.fsKind == kFsBitLocker) {
    services_.boxes->Information(Tr(kBitLockerMessage));
    return;
  }
  if (!RunWithProgress([&job] { GetPartDataThread(job); }, false, *services_.presenter)) return;
  if (set_ == nullptr) return;
  // A named file system whose structures would not read is a failure to say
  // so, not an empty browser; an unknown one opens empty.
  if (!job.readOk && job.volume.fsKind != kFsUnknown) {
    services_.boxes->Information(tr("读取分区的文件系统失败：%1").arg(ToQString(job.volume.name)).toStdU16String());
    return;
  }
  set_->ClearVolumes();
  set_->AddVolume(job.volume);
  set_->NotifyListeners(nullptr, VolumeSetEvent::kVolumeAdded);
  set_->viewMode = mode_ == 1 ? kViewDeletedFiles : kViewExistingFiles;
  set_->SelectVolume(static_cast<int>(set_->volumes.size()) - 1, nullptr, kRootNodeId);
  host_.ShowPage(PageId::kBrowser);
}

void CDevSelDlg::SearchForFiles(const VolumeDescriptor& area) {
  DeepScanJob job;
  job.request = {mode_, priorityStart_, priorityLength_};
  job.volume = area;
  job.state = &scanState_;
  job.finish = ScanFinishHookFor(mode_);
  OfferReuse(scanState_, area, job.request,
             [this](const std::u16string& question) { return services_.boxes->AskYesNoDefaultYes(question); });
  if (!RunDeepScan(job, *services_.presenter) || set_ == nullptr) return;
  set_->ClearVolumes();
  for (const VolumeDescriptor& found : job.results) {
    set_->AddVolume(found);
    set_->NotifyListeners(nullptr, VolumeSetEvent::kVolumeAdded);
  }
  set_->viewMode = kViewExistingFiles;
  if (set_->volumes.empty()) return;
  set_->SelectVolume(static_cast<int>(set_->volumes.size()) - 1, nullptr, kRootNodeId);
  host_.ShowPage(PageId::kBrowser);
}

void CDevSelDlg::ScanForLostPartitions(int row) {
  // Mode 5 names the disk, so an earlier scan of it can be offered again.
  const DiskInfo& disk = disks_[static_cast<std::size_t>(row)];
  DeepScanJob job;
  job.request = {kScanLostPartitions, priorityStart_, priorityLength_};
  job.volume = WholeDiskArea(disk);
  job.volume.name.clear();
  job.state = &scanState_;
  job.finish = ScanFinishHookFor(kScanLostPartitions);
  OfferReuse(scanState_, job.volume, job.request,
             [this](const std::u16string& question) { return services_.boxes->AskYesNoDefaultYes(question); });
  if (!RunDeepScan(job, *services_.presenter) || repairPage_ == nullptr) return;
  repairPage_->FillCandidates(job.volume, repair::TheFoundPartitionList());
  host_.ShowPage(PageId::kRepair);
}

void CDevSelDlg::EditScanSettings() {
  CDiskScanSetDlg dialog(*services_.boxes, this);
  dialog.priorityAddress = SectorsToGib(priorityStart_);
  dialog.prioritySize = SectorsToGib(priorityLength_);
  if (dialog.exec() != QDialog::Accepted) return;
  priorityStart_ = GibToSectors(dialog.priorityAddress);
  priorityLength_ = GibToSectors(dialog.prioritySize);
}

}  // namespace kestrum
