#include "cli/filter_options.h"

#include <optional>
#include <string>
#include <utility>
#include <string_view>

#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "find/filter_text.h"

namespace kestrum::cli {

const char* const kFilterOptions[7] = {"--name", "--type", "--min-size", "--max-size",
                                       "--since", "--until", "--recovery"};

namespace {

// Calls `each` on every comma-separated word; false as soon as it does.
template <typename Each>
bool ForEachWord(const std::string& list, Each each) {
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = list.find(',', start);
    if (!each(std::string_view(list).substr(start, comma == std::string::npos ? comma : comma - start))) return false;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace

bool FilterFromArguments(const Arguments& args, FileFilter& out, int& exitStatus) {
  out = FileFilter{};
  auto bad = [&](const std::u16string& message) {
    exitStatus = UsageError(message);
    return false;
  };
  auto value = [&](const char* option) -> const std::string* {
    auto it = args.values.find(option);
    return it == args.values.end() ? nullptr : &it->second;
  };
  if (const std::string* name = value("--name")) out.name = FromUtf8(*name);
  if (const std::string* types = value("--type")) {
    bool ok = ForEachWord(*types, [&](std::string_view word) {
      TypeGroup group;
      if (!ParseTypeGroup(FromUtf8(word), group)) return false;
      out.AddGroup(group);
      return true;
    });
    if (!ok) {
      return bad(TrFormat("%s：不是 picture、document、video、audio、archive、other 之一：%s", "--type", types->c_str()));
    }
  }
  const std::pair<const char*, std::optional<std::uint64_t>*> sizes[] = {{"--min-size", &out.minSize},
                                                                         {"--max-size", &out.maxSize}};
  for (const auto& [option, bound] : sizes) {
    const std::string* text = value(option);
    std::uint64_t bytes = 0;
    if (text == nullptr) continue;
    if (!ParseSizeText(*text, bytes)) {
      return bad(TrFormat("%s：不是大小（字节数，或带 K、M、G、T）：%s", option, text->c_str()));
    }
    *bound = bytes;
  }
  // A date alone: from its first second, until its last.
  const std::pair<const char*, std::optional<std::int64_t>*> dates[] = {{"--since", &out.since},
                                                                       {"--until", &out.until}};
  for (const auto& [option, bound] : dates) {
    const std::string* text = value(option);
    std::int64_t seconds = 0;
    if (text == nullptr) continue;
    if (!ParseDateText(*text, bound == &out.until, seconds)) {
      return bad(TrFormat("%s：不是日期（YYYY-MM-DD [HH:MM[:SS]]）：%s", option, text->c_str()));
    }
    *bound = seconds;
  }
  if (const std::string* chances = value("--recovery")) {
    bool ok = ForEachWord(*chances, [&](std::string_view word) {
      RecoveryChance chance;
      if (!ParseRecoveryChance(word, chance)) return false;
      out.AddChance(chance);
      return true;
    });
    if (!ok) {
      return bad(TrFormat("%s：不是 good、partial、overwritten、unknown、unverified 之一：%s", "--recovery",
                          chances->c_str()));
    }
  }
  if (FilterProblem problem = CheckFilter(out); problem != FilterProblem::kNone) {
    Tell(FilterProblemText(problem));
    exitStatus = kExitUsage;
    return false;
  }
  return true;
}

}  // namespace kestrum::cli
