#pragma once
// The verbs of kestrum-cli. Each returns the exit status: 0 success,
// 1 failure, 2 wrong usage.

#include "cli/arguments.h"
#include "discovery/discovery.h"

namespace kestrum::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunDisks(const Arguments& args);
int RunVolumes(const Arguments& args);
int RunList(const Arguments& args);
int RunClassify(const Arguments& args);
int RunScan(const Arguments& args);
// `export`; named apart from kestrum::RunExport, which it calls.
int RunExportFiles(const Arguments& args);
// `image`: a disk into an image file with a rescue map (resumable).
int RunImage(const Arguments& args);
// The lost-partition function: candidates, table rebuild, history, undo.
int RunLostPartitionScan(const Arguments& args);
int RunRepair(const Arguments& args);
int RunHistory(const Arguments& args);
int RunUndo(const Arguments& args);

// Prints a message of the system's own on stderr.
void Tell(const std::u16string& message);
// Names the devices that would not open, and why; false when there are none.
bool TellUnopened(const UnopenedDevices& devices);
// A wrong command line: the message, and exit status 2.
int UsageError(const std::u16string& message);

// --sector-size N: 512, 1024, 2048 or 4096. False (with the usage error in
// `status`) for any other value; 0 when the option is not given.
bool SectorSizeOption(const Arguments& args, std::uint32_t& out, int& status);
// The disks named on the command line, of the sector size --sector-size gives.
DiskSelection NamedDisks(const Arguments& args, const std::vector<std::u16string>& paths);

}  // namespace kestrum::cli
