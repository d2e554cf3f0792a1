#pragma once
// The report files every export leaves in its target, for the tests that
// look at what an export wrote.

#include <map>
#include <string>

#include "support/flat_json.h"

namespace kestrum::test {

// Whether `relative` (a path below an export's target) is one of its report files.
bool IsReportFile(const std::string& relative);

// recovery-report.jsonl of the export into `target`, by the path in the
// volume; a path listed twice fails the current test.
std::map<std::string, FlatObject> LoadJsonReport(const std::string& target);

}  // namespace kestrum::test
