#pragma once
// The bar above the browser's file list that finds files anywhere in the
// shown volume: name, kind, size and date ranges, deleted only, recovery
// chance. It only reads what the user typed into a FileFilter; the list
// shows the matches.

#include <QWidget>

#include <string>

#include "find/file_filter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrum {

class CFilterBar : public QWidget {
  Q_OBJECT

 public:
  explicit CFilterBar(QWidget* parent);

  // What the fields ask; false, with the reason for the user, when a value
  // cannot be read or the filter contradicts itself. A name without * or ?
  // is looked for anywhere in the name.
  bool ReadFilter(FileFilter& out, std::u16string& problem) const;
  // Empties every field without telling anyone.
  void ClearQuietly();
  // The line beside the fields: the count of matches, or why there are none.
  void ShowMessage(const QString& text, bool problem);

  QLineEdit* NameEdit() const { return name_; }
  QComboBox* TypeBox() const { return type_; }
  QLineEdit* MinSizeEdit() const { return minSize_; }
  QLineEdit* MaxSizeEdit() const { return maxSize_; }
  QLineEdit* SinceEdit() const { return since_; }
  QLineEdit* UntilEdit() const { return until_; }
  QCheckBox* DeletedOnlyBox() const { return deletedOnly_; }
  QComboBox* ChanceBox() const { return chance_; }
  QPushButton* ClearButton() const { return clear_; }
  QLabel* Message() const { return message_; }

 signals:
  void FilterEdited();

 private:
  QLineEdit* name_ = nullptr;
  QComboBox* type_ = nullptr;
  QLineEdit* minSize_ = nullptr;
  QLineEdit* maxSize_ = nullptr;
  QLineEdit* since_ = nullptr;
  QLineEdit* until_ = nullptr;
  QCheckBox* deletedOnly_ = nullptr;
  QComboBox* chance_ = nullptr;
  QPushButton* clear_ = nullptr;
  QLabel* message_ = nullptr;
};

}  // namespace kestrum
