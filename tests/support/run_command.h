#pragma once
#include <string>
#include <vector>

namespace kestrum::test {

struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program (no shell), capturing both streams.
CommandResult RunCommand(const std::vector<std::string>& argv);
// Runs kestrum-cli with the given arguments.
CommandResult RunCli(const std::vector<std::string>& args);
// Lines of text, without their newlines.
std::vector<std::string> Lines(const std::string& text);

}  // namespace kestrum::test
