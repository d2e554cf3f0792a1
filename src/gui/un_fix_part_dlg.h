#pragma once
// The undo dialog: the disk's recorded rebuilds, oldest first, with check
// boxes. "确定" with exactly one ticked writes back that rebuild's old
// sectors and those of every later one, newest first.

#include <QDialog>

#include <string>

#include "disk/volume_descriptor.h"
#include "repair/repair_history.h"
#include "repair/repair_prompts.h"

class QTableWidget;

namespace kestrum {

class CUnFixPartDlg : public QDialog {
  Q_OBJECT

 public:
  // `historyPath`: the file the records came from; what the undo
  // overwrites is kept beside it.
  CUnFixPartDlg(const repair::DeviceHistory& history, const VolumeDescriptor& device,
                const std::string& historyPath, repair::RepairPrompts& prompts, QWidget* parent);

  // The records not undone (all of them until "确定" succeeds; after a
  // failed write, the record that failed and the older ones chosen).
  const repair::DeviceHistory& History() const { return history_; }
  // Whether "确定" wrote back every sector it was asked to.
  bool Completed() const { return completed_; }
  QTableWidget* List() const { return list_; }
  void UndoRebuild();  // "确定"

 private:
  repair::DeviceHistory history_;
  VolumeDescriptor device_;
  std::string historyPath_;
  repair::RepairPrompts& prompts_;
  QTableWidget* list_ = nullptr;
  bool completed_ = false;
};

}  // namespace kestrum
