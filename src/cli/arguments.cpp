#include "cli/arguments.h"

#include <cctype>

#include "base/catalog.h"

namespace kestrum::cli {

std::optional<std::uint64_t> Arguments::Number(const std::string& option, bool& bad) const {
  auto it = values.find(option);
  if (it == values.end()) return std::nullopt;
  const std::string& text = it->second;
  if (text.empty() || text.size() > 19) {
    bad = true;
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      bad = true;
      return std::nullopt;
    }
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

bool ParseArguments(int argc, char** argv, const std::set<std::string>& flags,
                    const std::set<std::string>& valued, Arguments& out, std::u16string& error) {
  out = Arguments{};
  bool operandsOnly = false;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (!operandsOnly && word == "--") {
      operandsOnly = true;
      continue;
    }
    if (!operandsOnly && word.size() > 2 && word.rfind("--", 0) == 0) {
      std::string name = word;
      std::string value;
      bool inlineValue = false;
      if (auto eq = word.find('='); eq != std::string::npos) {
        name = word.substr(0, eq);
        value = word.substr(eq + 1);
        inlineValue = true;
      }
      if (valued.count(name)) {
        if (!inlineValue) {
          if (i + 1 >= argc) {
            error = TrFormat("选项 %s 需要一个值", name.c_str());
            return false;
          }
          value = argv[++i];
        }
        out.values[name] = value;
      } else if (flags.count(name) && !inlineValue) {
        out.flags.insert(name);
      } else {
        error = TrFormat("未知的选项 %s", word.c_str());
        return false;
      }
      continue;
    }
    if (out.verb.empty()) {
      out.verb = word;
    } else {
      out.operands.push_back(word);
    }
  }
  return true;
}

}  // namespace kestrum::cli
