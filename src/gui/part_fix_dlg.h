#pragma once
// The partition repair page: the partitions a lost-partition scan found,
// with check boxes; "重建分区表" rewrites the disk's partition table from the
// ticked ones, "撤销重建操作" puts back what an earlier rebuild overwrote.

#include <QWidget>

#include <string>
#include <vector>

#include "gui/gui_services.h"
#include "gui/page_host.h"
#include "repair/found_partition.h"
#include "repair/repair_prompts.h"

class QPushButton;
class QTableWidget;

namespace kestrum {

// The repair's messages and questions as message boxes.
class BoxPrompts : public repair::RepairPrompts {
 public:
  explicit BoxPrompts(MessageBoxes& boxes) : boxes_(boxes) {}
  void Inform(const std::u16string& text) override;
  bool AskYesNo(const std::u16string& text) override;
  int Choose(const std::u16string& text, const std::vector<std::u16string>& options, int recommended) override;

 private:
  MessageBoxes& boxes_;
};

class CPartFixDlg : public QWidget {
  Q_OBJECT

 public:
  CPartFixDlg(PageHost& host, const GuiServices& services, QWidget* parent);

  // Rows for every candidate of `found`, none ticked; `device` is the
  // scanned disk, the one the rebuild and the undo write to.
  void FillCandidates(const VolumeDescriptor& device, const repair::FoundPartitionList& found);
  // The ticked rows' records in row order; "请至少选择一个分区!" when none.
  bool CollectTickedCandidates(std::vector<repair::FoundPartition>& selection);
  void Rebuild();  // "重建分区表"
  void Undo();     // "撤销重建操作"

  QTableWidget* List() const { return list_; }
  QPushButton* RebuildButton() const { return rebuild_; }
  QPushButton* UndoButton() const { return undo_; }
  const std::vector<repair::FoundPartition>& Candidates() const { return candidates_; }
  const VolumeDescriptor& Device() const { return device_; }
  // Where the history is kept: the default place unless a test says otherwise.
  void SetHistoryPath(const std::string& path) { historyPath_ = path; }

 private:
  PageHost& host_;
  GuiServices services_;
  repair::FoundPartitionList allFound_;
  std::vector<repair::FoundPartition> candidates_;
  VolumeDescriptor device_;
  std::string historyPath_;
  QTableWidget* list_ = nullptr;
  QPushButton* undo_ = nullptr;
  QPushButton* rebuild_ = nullptr;
};

}  // namespace kestrum
