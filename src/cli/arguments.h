#pragma once
// Command-line words: options may stand anywhere, before or after operands.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrum::cli {

struct Arguments {
  std::string verb;
  std::vector<std::string> operands;
  std::set<std::string> flags;                 // "--json", "--deleted", …
  std::map<std::string, std::string> values;   // "--partition" → "2"

  bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
  // The option's value as a number; nullopt when absent; sets `bad` when malformed.
  std::optional<std::uint64_t> Number(const std::string& option, bool& bad) const;
};

// Splits argv. `valued` names the options that take a value. Returns false
// with a message for an unknown option or a missing value.
bool ParseArguments(int argc, char** argv, const std::set<std::string>& flags,
                    const std::set<std::string>& valued, Arguments& out, std::u16string& error);

}  // namespace kestrum::cli
