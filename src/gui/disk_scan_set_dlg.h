#pragma once
// Where a deep scan should look first: a start and a size in GiB. The
// dialog only edits the two numbers; the device page converts and keeps them.

#include <QDialog>

class QLineEdit;

namespace kestrum {

class MessageBoxes;

class CDiskScanSetDlg : public QDialog {
  Q_OBJECT

 public:
  CDiskScanSetDlg(MessageBoxes& boxes, QWidget* parent);

  // Set before exec(); read back only after it answered Accepted.
  float priorityAddress = 0;
  float prioritySize = 0;

  QLineEdit* AddressEdit() const { return address_; }
  QLineEdit* SizeEdit() const { return size_; }

  int exec() override;

 public slots:
  void accept() override;

 private:
  bool ReadEdit(QLineEdit* edit, float& out);

  MessageBoxes& boxes_;
  QLineEdit* address_ = nullptr;
  QLineEdit* size_ = nullptr;
};

}  // namespace kestrum
