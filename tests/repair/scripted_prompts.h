#pragma once
// Answers the repair's questions from a script (Yes when the script runs
// out) and keeps every text shown, in order.

#include <deque>
#include <string>
#include <vector>

#include "repair/repair_prompts.h"

namespace kestrum::test {

class ScriptedPrompts : public repair::RepairPrompts {
 public:
  explicit ScriptedPrompts(std::deque<bool> answers = {}) : answers_(std::move(answers)) {}

  void Inform(const std::u16string& text) override { shown.push_back(text); }
  bool AskYesNo(const std::u16string& text) override {
    asked.push_back(text);
    if (answers_.empty()) return true;
    bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::vector<std::u16string> shown;
  std::vector<std::u16string> asked;

 private:
  std::deque<bool> answers_;
};

}  // namespace kestrum::test
