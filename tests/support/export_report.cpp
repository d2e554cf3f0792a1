#include "support/export_report.h"

#include <gtest/gtest.h>

#include "export/export_report.h"
#include "support/temp_dir.h"

namespace kestrum::test {

bool IsReportFile(const std::string& relative) {
  return relative == kReportCsvName || relative == kReportJsonName;
}

std::map<std::string, FlatObject> LoadJsonReport(const std::string& target) {
  std::map<std::string, FlatObject> byPath;
  for (FlatObject& line : ParseJsonLines(ReadWholeFile(target + "/" + kReportJsonName))) {
    const std::string path = line["path"].value_or("");
    EXPECT_EQ(byPath.count(path), 0u) << "reported twice: " << path;
    byPath[path] = line;
  }
  return byPath;
}

}  // namespace kestrum::test
