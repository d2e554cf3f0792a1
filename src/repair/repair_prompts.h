#pragma once
// How the repair talks to the user: messages and Yes/No questions. The GUI
// answers with message boxes, the command line on the terminal, tests with
// scripted answers.

#include <string>
#include <vector>

namespace kestrum::repair {

class RepairPrompts {
 public:
  virtual ~RepairPrompts() = default;
  virtual void Inform(const std::u16string& text) = 0;
  // True only for Yes: anything else cancels before anything is written.
  virtual bool AskYesNo(const std::u16string& text) = 0;
  // One of `options` (its index), `recommended` offered first; -1 when the
  // user closes the question, which cancels as No does.
  virtual int Choose(const std::u16string& text, const std::vector<std::u16string>& options, int recommended) = 0;
};

}  // namespace kestrum::repair
