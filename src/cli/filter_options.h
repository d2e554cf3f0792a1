#pragma once
// `ls` and `export` filter options: --name GLOB, --type GROUP[,GROUP…],
// --min-size/--max-size SIZE, --since/--until DATE, --recovery CHANCE[,…].

#include "cli/arguments.h"
#include "find/file_filter.h"

namespace kestrum::cli {

// The valued options this file reads, for the argument parser.
extern const char* const kFilterOptions[7];

// Fills `out` from the options; false, with the exit status set and the
// reason told, for a malformed value or a filter that contradicts itself.
bool FilterFromArguments(const Arguments& args, FileFilter& out, int& exitStatus);

}  // namespace kestrum::cli
