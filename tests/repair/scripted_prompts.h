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

  // The recommended option unless `choices` says otherwise.
  int Choose(const std::u16string& text, const std::vector<std::u16string>&, int recommended) override {
    chosen.push_back(text);
    if (choices.empty()) return recommended;
    int choice = choices.front();
    choices.pop_front();
    return choice;
  }

  std::vector<std::u16string> shown;
  std::vector<std::u16string> asked;
  std::vector<std::u16string> chosen;
  std::deque<int> choices;

 private:
  std::deque<bool> answers_;
};

}  // namespace kestrum::test
