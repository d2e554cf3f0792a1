#pragma once
// What the desktop program asks of the user through small modal boxes: a
// message with an OK button, a Yes/No question, a folder or image file to
// pick. Pages talk to these interfaces only, so a test can read every text
// that would be shown and give the answers.

#include <string>
#include <vector>

namespace kestrum {

// The button Enter presses in a question.
enum class DefaultAnswer { kNo, kYes };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Information(const std::u16string& text) = 0;
  // True only for Yes; closing the box counts as No. Enter answers No.
  bool AskYesNo(const std::u16string& text) { return Ask(text, DefaultAnswer::kNo); }
  // For the questions whose safe answer is to keep what exists (reusing a
  // long scan): Enter answers Yes.
  bool AskYesNoDefaultYes(const std::u16string& text) { return Ask(text, DefaultAnswer::kYes); }
  // A button per option and one to cancel (-1); `recommended` is the default.
  virtual int Choose(const std::u16string& text, const std::vector<std::u16string>& options, int recommended) = 0;

 protected:
  virtual bool Ask(const std::u16string& text, DefaultAnswer preselected) = 0;
};

class FileChoosers {
 public:
  virtual ~FileChoosers() = default;
  // The folder an export writes into, titled "选择路径"; false when cancelled.
  virtual bool ChooseTargetFolder(std::u16string& out) = 0;
  // Disk image files to add as disks; false when cancelled.
  virtual bool ChooseImageFiles(std::vector<std::u16string>& out) = 0;
  // Where a new disk image goes ("创建镜像文件"), `suggested` the name
  // offered; false when cancelled.
  virtual bool ChooseImageTarget(const std::u16string& suggested, std::u16string& out) = 0;
};

}  // namespace kestrum
