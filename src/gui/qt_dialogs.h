#pragma once
// The message boxes and file choosers of the desktop program, on Qt.

#include <QString>
#include <QWidget>

#include "gui/message_boxes.h"

namespace kestrum {

inline QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* owner) : owner_(owner) {}
  void Information(const std::u16string& text) override;
  int Choose(const std::u16string& text, const std::vector<std::u16string>& options, int recommended) override;

 protected:
  bool Ask(const std::u16string& text, DefaultAnswer preselected) override;

 private:
  QWidget* owner_;
};

class QtFileChoosers : public FileChoosers {
 public:
  explicit QtFileChoosers(QWidget* owner) : owner_(owner) {}
  bool ChooseTargetFolder(std::u16string& out) override;
  bool ChooseImageFiles(std::vector<std::u16string>& out) override;
  bool ChooseImageTarget(const std::u16string& suggested, std::u16string& out) override;

 private:
  QWidget* owner_;
};

// The caption of every box the program shows.
// The product's name, the caption of its boxes.
QString ProductCaption();

}  // namespace kestrum
