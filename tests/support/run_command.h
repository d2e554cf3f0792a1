#pragma once
#include <string>
#include <vector>

namespace kestrum::test {

struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program (no shell), capturing both streams; `env` ("NAME=value")
// is added to the environment the test runs in.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
// Runs kestrum-cli with the given arguments.
CommandResult RunCli(const std::vector<std::string>& args);
// The same with added environment, e.g. the test build's fault hooks
// (KESTRUM_TEST_FAULTS, KESTRUM_TEST_READ_LOG).
CommandResult RunCliWith(const std::vector<std::string>& env, const std::vector<std::string>& args);
// Lines of text, without their newlines.
std::vector<std::string> Lines(const std::string& text);

}  // namespace kestrum::test
