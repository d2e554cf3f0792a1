#include "cli/repair_prompts_cli.h"

#include <unistd.h>

#include <cstdio>

#include "base/text.h"
#include "cli/commands.h"

namespace kestrum::cli {

TerminalPrompts::TerminalPrompts(bool yes)
    : yes_(yes), interactive_(::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0) {}

void TerminalPrompts::Inform(const std::u16string& text) { Tell(text); }

bool TerminalPrompts::AskYesNo(const std::u16string& text) {
  if (yes_) {
    std::fprintf(stderr, "%s (y/N) y\n", ToUtf8(text).c_str());
    return true;
  }
  if (!interactive_) {
    collected_.push_back(text);
    return true;  // go on, to collect the questions that follow
  }
  std::fprintf(stderr, "%s (y/N) ", ToUtf8(text).c_str());
  std::fflush(stderr);
  char line[64] = {};
  if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
  return line[0] == 'y' || line[0] == 'Y';
}

void TerminalPrompts::TellRefusal() const {
  Tell(u"没有终端可以询问，也没有 --yes：没有写入任何扇区。");
  if (collected_.empty()) return;
  Tell(u"将会询问的问题：");
  for (const std::u16string& question : collected_) Tell(u"  " + question);
}

}  // namespace kestrum::cli
