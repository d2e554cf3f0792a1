#include "cli/repair_prompts_cli.h"

#include <cctype>
#include <cstdio>

#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "platform/console.h"

namespace kestrum::cli {

TerminalPrompts::TerminalPrompts(bool yes)
    : yes_(yes), interactive_(platform::IsTerminal(platform::Stream::kIn) && platform::IsTerminal(platform::Stream::kErr)) {}

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

int TerminalPrompts::Choose(const std::u16string& text, const std::vector<std::u16string>& options,
                            int recommended) {
  std::u16string list;
  for (const std::u16string& option : options) list += (list.empty() ? u"" : u"/") + option;
  const std::string question = ToUtf8(text + u" [" + list + u"]");
  const std::string preset = ToUtf8(options[static_cast<std::size_t>(recommended)]);
  if (!interactive_ && !yes_) {
    collected_.push_back(FromUtf8(question));
    return recommended;
  }
  if (yes_) {
    std::fprintf(stderr, "%s %s\n", question.c_str(), preset.c_str());
    return recommended;
  }
  std::fprintf(stderr, "%s (%s) ", question.c_str(), preset.c_str());
  std::fflush(stderr);
  char line[64] = {};
  if (std::fgets(line, sizeof line, stdin) == nullptr) return -1;
  auto lower = [](std::string t) {
    t.erase(t.find_last_not_of(" \r\n") + 1);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  const std::string answer = lower(line);
  if (answer.empty()) return recommended;
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (lower(ToUtf8(options[i])) == answer) return static_cast<int>(i);
  }
  return -1;
}

void TerminalPrompts::TellRefusal() const {
  Tell(Tr(u"没有终端可以询问，也没有 --yes：没有写入任何扇区。"));
  if (collected_.empty()) return;
  Tell(Tr(u"将会询问的问题："));
  for (const std::u16string& question : collected_) Tell(u"  " + question);
}

}  // namespace kestrum::cli
