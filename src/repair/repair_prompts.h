#pragma once
// How the repair talks to the user: messages and Yes/No questions. The GUI
// answers with message boxes, the command line on the terminal, tests with
// scripted answers.

#include <string>

namespace kestrum::repair {

class RepairPrompts {
 public:
  virtual ~RepairPrompts() = default;
  virtual void Inform(const std::u16string& text) = 0;
  // True only for Yes: anything else cancels before anything is written.
  virtual bool AskYesNo(const std::u16string& text) = 0;
};

}  // namespace kestrum::repair
