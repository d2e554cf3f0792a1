#include "support/fls.h"

#include <gtest/gtest.h>

#include <cctype>

#include "support/run_command.h"

namespace kestrum::test {

namespace {

bool ParseFlsLine(const std::string& line, FlsEntry& e) {
  std::size_t tab = line.find('\t');
  if (tab == std::string::npos || tab < 5 || line[1] != '/') return false;
  e.nameType = line[0];
  e.metaType = line[2];
  std::size_t at = 4;
  if (line.compare(at, 2, "* ") == 0) {
    e.deleted = true;
    at += 2;
  }
  if (!std::isdigit(static_cast<unsigned char>(line[at]))) return false;
  e.inode = std::stoull(line.substr(at));
  e.realloc = line.substr(0, tab).find("(realloc)") != std::string::npos;
  e.path = line.substr(tab + 1);
  return true;
}

}  // namespace

std::vector<FlsEntry> Fls(const std::string& image, std::uint64_t offset) {
  CommandResult r = RunCommand({"fls", "-r", "-p", "-o", std::to_string(offset), image});
  EXPECT_EQ(r.exitCode, 0) << "fls on " << image << ": " << r.err;
  std::vector<FlsEntry> entries;
  for (const std::string& line : Lines(r.out)) {
    FlsEntry e;
    if (ParseFlsLine(line, e)) entries.push_back(e);
  }
  EXPECT_FALSE(entries.empty()) << "fls listed nothing on " << image;
  return entries;
}

}  // namespace kestrum::test
