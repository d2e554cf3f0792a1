#pragma once
// The repair's questions on the terminal: y/N on stderr, the answer read from
// stdin. With --yes every question is answered Yes. Without a terminal and
// without --yes nothing may be written: the questions are only collected, so
// the command can list them and refuse.

#include <string>
#include <vector>

#include "repair/repair_prompts.h"

namespace kestrum::cli {

class TerminalPrompts : public repair::RepairPrompts {
 public:
  explicit TerminalPrompts(bool yes);

  // False when nothing may be written: no terminal and no --yes.
  bool MayWrite() const { return yes_ || interactive_; }
  const std::vector<std::u16string>& Collected() const { return collected_; }
  // Tells the user that the command refused, with the questions it would ask.
  void TellRefusal() const;

  void Inform(const std::u16string& text) override;
  bool AskYesNo(const std::u16string& text) override;
  int Choose(const std::u16string& text, const std::vector<std::u16string>& options, int recommended) override;

 private:
  bool yes_;
  bool interactive_;
  std::vector<std::u16string> collected_;
};

}  // namespace kestrum::cli
